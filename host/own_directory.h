#pragma once
// The directory of the running executable, where the launchers find libvelkor.so.
#include <unistd.h>

#include <climits>
#include <string>

namespace velkor::host {

// Returns the running executable's path, links resolved; empty when it cannot be read.
inline std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length <= 0 ? std::string() : std::string(path, static_cast<std::size_t>(length));
}

// Returns the executable's directory without a trailing separator; "." when it cannot be read.
inline std::string OwnDirectory() {
    const std::string path = ExecutablePath();
    if (path.empty()) return ".";
    return path.substr(0, path.rfind('/'));
}

}  // namespace velkor::host
