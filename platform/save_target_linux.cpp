#include <sys/stat.h>

#include <string>

#include "platform/device_stack.h"
#include "platform/drive_discovery.h"
#include "platform/drive_table.h"
#include "platform/save_target.h"

namespace velkor {
namespace {

// Fills source with the status of letter's source and target with path's; false when either is missing.
bool StatSourceAndPath(const std::string& letter, const std::string& path, struct stat& source, struct stat& target) {
    const auto volume = FindVolume(letter);
    return volume && stat(volume->source.c_str(), &source) == 0 && stat(path.c_str(), &target) == 0;
}

}  // namespace

bool DirectoryLiesOnDrive(const std::string& directory, const std::string& letter) {
    struct stat source {};
    struct stat target {};
    if (!StatSourceAndPath(letter, directory, source, target) || !S_ISBLK(source.st_mode)) return false;
    if (source.st_rdev == target.st_dev) return true;
    return DeviceStackReaches("/sys", ReadSmallTextFile("/proc/self/mountinfo"), directory, source.st_rdev);
}

bool PathIsDriveSource(const std::string& path, const std::string& letter) {
    struct stat source {};
    struct stat target {};
    if (!StatSourceAndPath(letter, path, source, target)) return false;
    return source.st_dev == target.st_dev && source.st_ino == target.st_ino;
}

}  // namespace velkor
