#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/image_list.h"
#include "platform/unique_fd.h"

namespace velkor {
namespace {

std::string WorkingDirectory() {
    char directory[PATH_MAX];
    return getcwd(directory, sizeof directory) != nullptr ? std::string(directory) : std::string();
}

}  // namespace

std::string AbsoluteImagePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    if (!path.empty() && path.front() == '/') return path;
    const std::string directory = WorkingDirectory();
    return directory.empty() ? path : directory + "/" + path;
}

std::string ImageUnusableReason(const std::string& path) {
    if (path.empty() || path.front() != '/') return "is not an absolute path";
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "is a directory, not an image file";
    if (!S_ISREG(info.st_mode)) return "is not a regular file, so not an image file";
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) return std::strerror(errno);
    char first = 0;
    const ssize_t got = pread(file.get(), &first, 1, 0);
    if (got < 0) return std::string("cannot be read: ") + std::strerror(errno);
    if (got == 0) return "is empty";
    return {};
}

}  // namespace velkor
