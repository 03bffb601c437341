#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/files.h"
#include "platform/files_system.h"
#include "platform/unique_fd.h"

namespace velkor {

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string text(path, static_cast<std::size_t>(length));
    const auto slash = text.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : text.substr(0, slash);
}

std::string NativePath(std::string path) { return path; }

namespace {

bool Failed(std::string* reason) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return false;
}

// Writes bytes over fd's content and cuts the rest off. Overwriting in place,
// instead of opening with O_TRUNC, spares ext4 the forced flush it gives a file
// truncated to zero and rewritten: that flush cost more than the validator run it feeds.
bool OverwriteWith(int fd, ByteView bytes, std::string* reason) {
    if (!WriteAll(fd, bytes) || ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) return Failed(reason);
    return true;
}

// Opens path for writing without following a link in its last component.
UniqueFd OpenForOverwrite(const std::string& path) {
    return UniqueFd(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
}

FileStamp StampFrom(const struct stat& info) {
    return {static_cast<std::int64_t>(info.st_mtim.tv_sec), static_cast<std::int64_t>(info.st_mtim.tv_nsec),
            static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

bool WriteWholeFile(const std::string& path, ByteView bytes, std::string* reason) {
    UniqueFd fd = OpenForOverwrite(path);
    if (!fd) return Failed(reason);
    // A full disk may only show at close on some file systems, so its result counts too.
    return OverwriteWith(fd.get(), bytes, reason) && (fd.Close() || Failed(reason));
}

std::optional<FileStamp> WriteBackdatedFile(const std::string& path, ByteView bytes, std::string* reason) {
    UniqueFd fd = OpenForOverwrite(path);
    if (!fd) {
        Failed(reason);
        return std::nullopt;
    }
    if (!OverwriteWith(fd.get(), bytes, reason)) return std::nullopt;
    const timespec epoch[2] = {};
    struct stat info {};
    if (futimens(fd.get(), epoch) != 0 || fstat(fd.get(), &info) != 0 || !fd.Close()) {
        Failed(reason);
        return std::nullopt;
    }
    return StampFrom(info);
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return std::nullopt;
    return StampFrom(info);
}

ScratchFault ScratchFaultOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return ScratchFault::kNone;
    if (S_ISLNK(info.st_mode)) return ScratchFault::kSymbolicLink;
    if (!S_ISREG(info.st_mode)) return ScratchFault::kNotRegular;
    if (info.st_nlink > 1) return ScratchFault::kMoreNames;
    return ScratchFault::kNone;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

void FailWritesBeyondFileSizeLimit() { signal(SIGXFSZ, SIG_IGN); }

ByteSet ReadWholeFile(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return {};
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    ByteSet bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t block[65536];
    for (;;) {
        const ssize_t got = read(fd.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return {};
        if (got == 0) break;
        bytes.insert(bytes.end(), block, block + got);
    }
    return bytes;
}

FileMapping::FileMapping(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return;
    void* mapped = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapped == MAP_FAILED) return;
    data_ = static_cast<const std::uint8_t*>(mapped);
    size_ = static_cast<std::size_t>(info.st_size);
}

FileMapping::~FileMapping() {
    if (data_ != nullptr) munmap(const_cast<std::uint8_t*>(data_), size_);
}

bool IsDirectoryWritable(const std::string& directory) {
    std::string probe = directory + "/.velkor-probe-XXXXXX";
    UniqueFd fd(mkstemp(probe.data()));
    if (!fd) return false;
    unlink(probe.c_str());
    return true;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace velkor
