#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/drive_table.h"
#include "platform/save_target.h"

namespace velkor {
namespace {

// The sysfs directory of the whole disk that holds block device number device; empty when unknown.
std::string WholeDiskOf(dev_t device) {
    const std::string link = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (realpath(link.c_str(), resolved) == nullptr) return {};
    std::string path = resolved;
    struct stat info {};
    if (stat((path + "/partition").c_str(), &info) == 0) path = path.substr(0, path.rfind('/'));
    return path;
}

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
    const std::string disk = WholeDiskOf(source.st_rdev);
    return !disk.empty() && disk == WholeDiskOf(target.st_dev);
}

bool PathIsDriveSource(const std::string& path, const std::string& letter) {
    struct stat source {};
    struct stat target {};
    if (!StatSourceAndPath(letter, path, source, target)) return false;
    return source.st_dev == target.st_dev && source.st_ino == target.st_ino;
}

}  // namespace velkor
