#include <sys/stat.h>

#include <string>

#include "platform/device_stack.h"
#include "platform/drive_discovery.h"
#include "platform/drive_table.h"
#include "platform/save_target.h"

namespace velkor {
bool DirectoryLiesOnDrive(const std::string& directory, const std::string& letter) {
    const auto volume = FindVolume(letter);
    struct stat source {};
    struct stat target {};
    if (!volume || stat(volume->source.c_str(), &source) != 0 || stat(directory.c_str(), &target) != 0 ||
        !S_ISBLK(source.st_mode)) {
        return false;
    }
    if (source.st_rdev == target.st_dev) return true;
    return DeviceStackReaches("/sys", ReadSmallTextFile("/proc/self/mountinfo"), directory, source.st_rdev);
}

}  // namespace velkor
