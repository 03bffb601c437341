#include "platform/target_names.h"

namespace velkor {

using Kind = TargetDirectory::Saved::Kind;

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string NumberedName(const std::string& name, std::int64_t n) {
    const std::size_t dot = name.rfind('.');
    const std::size_t split = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, split) + "-" + std::to_string(n) + name.substr(split);
}

std::string NotAFileNameText() { return "不是可用的文件名（为空、含有 “/” 或者是 “.”、“..”）"; }

TargetDirectory::Saved PutUnderFreeName(const std::string& name, const std::function<Placed(const std::string&)>& place,
                                        const std::function<bool(const std::string&)>& holds,
                                        const std::function<std::string()>& failure) {
    for (std::int64_t n = 0; n <= TargetDirectory::kMostNumberedNames; ++n) {
        const std::string candidate = n == 0 ? name : NumberedName(name, n);
        const Placed placed = place(candidate);
        if (placed == Placed::kFailed) return {Kind::kFailed, name, failure()};
        if (placed == Placed::kYes) return {n == 0 ? Kind::kWritten : Kind::kWrittenUnderFreeName, candidate, {}};
        if (holds(candidate)) return {Kind::kAlreadyThere, candidate, {}};
    }
    return {Kind::kFailed, name,
            "“" + name + "” 及其编号 1 到 " + std::to_string(TargetDirectory::kMostNumberedNames) +
                " 的文件名都已被内容不同的文件占用"};
}

}  // namespace velkor
