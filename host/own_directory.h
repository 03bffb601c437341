#pragma once
// The directory of the running executable, where the launchers find libvelkor.so.
#include <unistd.h>

#include <climits>
#include <string>

namespace velkor::host {

// Returns the executable's directory without a trailing separator; "." when it cannot be read.
inline std::string OwnDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string text(path, static_cast<std::size_t>(length));
    return text.substr(0, text.rfind('/'));
}

}  // namespace velkor::host
