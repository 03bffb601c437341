#include "carving/result_tree.h"

#include <charconv>

#include "platform/window_runtime.h"

namespace velkor {

void ClearResultTree(TreeBox& tree) {
    tree.SetCurrentIndex(kNoEntryIndex);
    tree.Clear();
}

void AppendResultEntry(TreeBox& tree, const std::string& text) { tree.Append(text); }

void SelectAllEntries(TreeBox& tree) { tree.SetAllTicks(true); }

void UntickAllEntries(TreeBox& tree) { tree.SetAllTicks(false); }

void AppendResultLocation(TextStore& resultIndex, std::int64_t firstSector, std::int64_t sectors) {
    resultIndex.Append(std::to_string(firstSector) + "\r\n" + std::to_string(sectors) + "\r\n");
}

std::int64_t ResultIndexNumber(const TextStore& resultIndex, std::int64_t line) {
    const std::string text = resultIndex.Line(line);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() ? value : 0;
}

}  // namespace velkor
