#pragma once
// The result list: the tree's entries with their ticks and the two lines per
// entry of ResultIndex, kept parallel.
#include <cstdint>
#include <string>

namespace velkor {

class TreeBox;
class TextStore;

// Current-entry value that matches no entry.
inline constexpr int kNoEntryIndex = 999999;

// Sets the current entry to 999999, then removes every entry.
void ClearResultTree(TreeBox& tree);
// Appends an entry with text, without a tick.
void AppendResultEntry(TreeBox& tree, const std::string& text);
// 全选: ticks every entry.
void SelectAllEntries(TreeBox& tree);
// 反选: clears every tick (it does not invert them one by one).
void UntickAllEntries(TreeBox& tree);

// Appends the location lines of one picture to ResultIndex.
void AppendResultLocation(TextStore& resultIndex, std::int64_t firstSector, std::int64_t sectors);
// Line n of ResultIndex as a signed 64-bit number; 0 for a missing, empty or non-numeric line.
std::int64_t ResultIndexNumber(const TextStore& resultIndex, std::int64_t line);

}  // namespace velkor
