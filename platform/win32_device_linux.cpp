#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/device_source.h"
#include "platform/drive_discovery.h"
#include "platform/drive_table_system.h"

namespace velkor::win32 {
namespace {

DeviceError LastSystemError() { return ErrorOfNumber(errno); }

// True when fd is still the device the letter was given to.
bool IsTheListedDevice(int fd, const std::string& source, const DeviceIdentity& identity) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    if (!S_ISBLK(info.st_mode)) {
        return DeviceIdentity{info.st_dev, info.st_ino, FileBirth(fd, "", AT_EMPTY_PATH)} == identity;
    }
    // A medium swapped in the same reader keeps the device number but not the disk sequence.
    return info.st_rdev == identity.device && IdentityOfSource(source) == identity;
}

// A mounted device answers with its file system, as a volume does on Windows.
std::optional<SpaceCounters> FileSystemSpace(dev_t device) {
    const std::string mountPoint =
        MountPointOf(ReadSmallTextFile("/proc/self/mountinfo"), major(device), minor(device));
    struct statvfs info {};
    if (mountPoint.empty() || statvfs(mountPoint.c_str(), &info) != 0) return std::nullopt;
    const ByteCount unit = info.f_frsize;
    return SpaceCounters{info.f_bavail * unit, info.f_blocks * unit, info.f_bfree * unit};
}

}  // namespace

DeviceError ErrorOfNumber(int error) { return {CodeOfErrorNumber(error), std::strerror(error)}; }

std::optional<SourceFile> SourceFile::Open(const std::string& source, const std::optional<DeviceIdentity>& identity,
                                           DeviceError& error) {
    const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = LastSystemError();
        return std::nullopt;
    }
    SourceFile file(fd);
    // Another device found under the listed name is not the drive the user chose.
    if (identity && !IsTheListedDevice(fd, source, *identity)) {
        error = ErrorOfNumber(ENODEV);
        return std::nullopt;
    }
    return file;
}

SourceFile::SourceFile(SourceFile&& other) noexcept : native_(std::exchange(other.native_, -1)) {}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        if (native_ >= 0) close(static_cast<int>(native_));
        native_ = std::exchange(other.native_, -1);
    }
    return *this;
}

SourceFile::~SourceFile() {
    if (native_ >= 0) close(static_cast<int>(native_));
}

std::int64_t SourceFile::ReadAt(std::uint8_t* into, std::int64_t size, std::int64_t offset, DeviceError& error) const {
    for (;;) {
        const ssize_t got = pread(static_cast<int>(native_), into, static_cast<std::size_t>(size), offset);
        if (got >= 0) return got;
        if (errno != EINTR) {
            error = LastSystemError();
            return -1;
        }
    }
}

std::optional<SpaceCounters> VolumeSpace(const ArrangedVolume& volume) {
    struct stat info {};
    if (stat(volume.source.c_str(), &info) != 0) return std::nullopt;
    if (S_ISBLK(info.st_mode)) return FileSystemSpace(info.st_rdev);
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    return SpaceCounters{0, static_cast<ByteCount>(VolumeExtentBytes(volume)), 0};
}

}  // namespace velkor::win32
