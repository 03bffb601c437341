#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <climits>
#include <cstdlib>

#include "platform/drive_discovery.h"
#include "platform/drive_table_system.h"

namespace velkor {
namespace {

// The kernel numbers every disk it attaches anew (also a medium swapped in a reader);
// a partition shares the number of its disk.
std::uint64_t DiskSequence(dev_t device) {
    const std::string link = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (realpath(link.c_str(), resolved) == nullptr) return 0;
    std::string directory = resolved;
    struct stat partition {};
    if (stat((directory + "/partition").c_str(), &partition) == 0) directory = directory.substr(0, directory.rfind('/'));
    const std::string text = ReadSmallTextFile(directory + "/diskseq");
    std::uint64_t sequence = 0;
    std::from_chars(text.data(), text.data() + text.size(), sequence);
    return sequence;
}

}  // namespace

std::optional<DeviceIdentity> IdentityOfSource(const std::string& source) {
    struct stat info {};
    if (stat(source.c_str(), &info) != 0) return std::nullopt;
    if (S_ISBLK(info.st_mode)) return DeviceIdentity{info.st_rdev, 0, DiskSequence(info.st_rdev)};
    return DeviceIdentity{info.st_dev, info.st_ino, FileBirth(AT_FDCWD, source.c_str(), 0)};
}

DriveTable DiscoverSystemDrives(const std::vector<std::string>& images) {
    return DiscoverDriveTable("/sys/block", "/dev", images);
}

bool IsImageFile(const std::string& source) {
    struct stat info {};
    return stat(source.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace velkor
