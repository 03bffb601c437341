#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "platform/device_stack.h"
#include "platform/drive_discovery.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// Real stacks (LUKS on LVM on md on a partition, a loop file on top) stay far below
// this; it only keeps a corrupt or cyclic sysfs tree from recursing without end.
constexpr int kMaxStackDepth = 64;

constexpr std::string_view kDeletedSuffix = " (deleted)";

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
    std::string source;
    std::string superOptions;  // still escaped: a decoded comma would split a value
};

std::vector<std::string> SpaceSeparatedFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, ' ');) fields.push_back(field);
    return fields;
}

// Fields: mount id, parent id, major:minor, root, mount point, options, optional
// fields up to a lone "-", file system type, source, super options.
std::optional<MountEntry> ParseMountLine(const std::string& line) {
    const std::vector<std::string> fields = SpaceSeparatedFields(line);
    constexpr std::size_t kFirstOptional = 6;
    if (fields.size() < kFirstOptional) return std::nullopt;
    const auto dash = std::find(fields.begin() + kFirstOptional, fields.end(), "-");
    if (fields.end() - dash < 4) return std::nullopt;
    return MountEntry{DecodeMountPath(fields[4]), dash[1], DecodeMountPath(dash[2]), dash[3]};
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (auto entry = ParseMountLine(line)) mounts.push_back(std::move(*entry));
    }
    return mounts;
}

// Returns the decoded value of name=value in a comma-separated option list; empty when absent.
std::string OptionValue(const std::string& options, std::string_view name) {
    std::istringstream stream(options);
    for (std::string option; std::getline(stream, option, ',');) {
        if (option.size() > name.size() && option.starts_with(name) && option[name.size()] == '=') {
            return DecodeMountPath(std::string_view(option).substr(name.size() + 1));
        }
    }
    return {};
}

bool MountPointHolds(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") return true;
    return path.starts_with(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// Returns path with every link resolved; empty when it does not exist.
std::string Canonical(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? std::string() : resolved.string();
}

std::vector<std::string> CanonicalEntriesOf(const fs::path& directory) {
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::string entry = Canonical(it->path());
        if (!entry.empty()) entries.push_back(entry);
    }
    return entries;
}

bool IsPartitionDir(const std::string& deviceDir) {
    std::error_code ignored;
    return fs::exists(fs::path(deviceDir) / "partition", ignored);
}

// A partition's directory sits inside its disk's, so the disk is the parent.
std::string WholeDiskDir(const std::string& deviceDir) {
    return IsPartitionDir(deviceDir) ? fs::path(deviceDir).parent_path().string() : deviceDir;
}

// Returns the backing file of a loop device (the directory that held it once it is
// deleted); empty for any other device.
std::string BackingFileOf(const std::string& deviceDir) {
    std::string path = ReadSmallTextFile(deviceDir + "/loop/backing_file");
    while (!path.empty() && path.back() == '\n') path.pop_back();
    // An unlinked backing file keeps its blocks on the file system of the directory that held it.
    if (path.ends_with(kDeletedSuffix)) {
        path.resize(path.size() - kDeletedSuffix.size());
        path = fs::path(path).parent_path().string();
    }
    return path;
}

// Collects the sysfs directories of every block device beneath paths and devices.
class StackWalk {
  public:
    StackWalk(std::string sysRoot, std::string_view mountinfo)
        : sysRoot_(std::move(sysRoot)), mounts_(ParseMountInfo(mountinfo)) {}

    // Returns the sysfs directory of block device number device; empty when sysfs has none.
    std::string DeviceDir(dev_t device) const {
        return Canonical(sysRoot_ + "/dev/block/" + std::to_string(major(device)) + ":" +
                         std::to_string(minor(device)));
    }

    // Adds the devices that hold the bytes of files written at path.
    void FromPath(const std::string& path, int depth) {
        struct stat info {};
        if (depth > kMaxStackDepth || stat(path.c_str(), &info) != 0) return;
        const std::string deviceDir = DeviceDir(info.st_dev);
        if (deviceDir.empty()) {
            FromMount(path, depth + 1);
        } else {
            FromDevice(deviceDir, depth + 1);
        }
    }

    // Returns true when the walk reached the device of sysfs directory deviceDir.
    bool Reached(const std::string& deviceDir) const { return devices_.contains(deviceDir); }

  private:
    void FromDevice(const std::string& deviceDir, int depth) {
        if (deviceDir.empty() || depth > kMaxStackDepth || !devices_.insert(deviceDir).second) return;
        if (IsPartitionDir(deviceDir)) FromDevice(WholeDiskDir(deviceDir), depth + 1);
        for (const std::string& lower : CanonicalEntriesOf(fs::path(deviceDir) / "slaves")) {
            FromDevice(lower, depth + 1);
        }
        const std::string backingFile = BackingFileOf(deviceDir);
        if (!backingFile.empty()) FromPath(backingFile, depth + 1);
    }

    // For a path whose device number sysfs does not know: the mount it lies in tells where writes go.
    void FromMount(const std::string& path, int depth) {
        const std::optional<std::size_t> holder = MountHolding(Canonical(path));
        if (!holder || !mountsSeen_.insert(*holder).second) return;
        const MountEntry& mount = mounts_[*holder];
        if (mount.fsType == "overlay") {
            // Only the upper layer is ever written; a read-only overlay has none.
            const std::string upper = OptionValue(mount.superOptions, "upperdir");
            if (!upper.empty()) FromPath(upper, depth + 1);
            return;
        }
        const std::string deviceDir = DeviceDirOfNode(mount.source);
        FromDevice(deviceDir, depth + 1);
        // mountinfo names one device of a btrfs that may span several.
        if (mount.fsType == "btrfs") FromBtrfsMembers(deviceDir, depth + 1);
    }

    // The longest mount point wins; of two on the same point the later covers the earlier.
    std::optional<std::size_t> MountHolding(const std::string& realPath) const {
        std::optional<std::size_t> best;
        for (std::size_t k = 0; !realPath.empty() && k < mounts_.size(); ++k) {
            const std::string& point = mounts_[k].mountPoint;
            if (!MountPointHolds(point, realPath)) continue;
            if (!best || point.size() >= mounts_[*best].mountPoint.size()) best = k;
        }
        return best;
    }

    // Returns the sysfs directory of the block device node at path; empty when it is none.
    std::string DeviceDirOfNode(const std::string& node) const {
        if (!node.starts_with("/dev/")) return {};
        struct stat info {};
        if (stat(node.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
            const std::string byNumber = DeviceDir(info.st_rdev);
            if (!byNumber.empty()) return byNumber;
        }
        return DeviceDirNamed(node);
    }

    // Where the node is missing (a container, a stale /dev/root), the kernel's name still finds it.
    std::string DeviceDirNamed(const std::string& node) const {
        std::string resolved = Canonical(node);
        if (!resolved.starts_with("/dev/")) resolved = node;
        std::string name = resolved.substr(std::string_view("/dev/").size());
        // sysfs turns the slash of a name such as cciss/c0d0 into '!'.
        std::replace(name.begin(), name.end(), '/', '!');
        return name.empty() ? std::string() : Canonical(sysRoot_ + "/class/block/" + name);
    }

    void FromBtrfsMembers(const std::string& deviceDir, int depth) {
        if (deviceDir.empty()) return;
        for (const std::string& fileSystem : CanonicalEntriesOf(sysRoot_ + "/fs/btrfs")) {
            const std::vector<std::string> members = CanonicalEntriesOf(fs::path(fileSystem) / "devices");
            if (std::find(members.begin(), members.end(), deviceDir) == members.end()) continue;
            for (const std::string& member : members) FromDevice(member, depth + 1);
        }
    }

    std::string sysRoot_;
    std::vector<MountEntry> mounts_;
    std::set<std::string> devices_;
    std::set<std::size_t> mountsSeen_;
};

}  // namespace

bool DeviceStackReaches(const std::string& sysRoot, std::string_view mountinfo, const std::string& directory,
                        std::uint64_t sourceDevice) {
    StackWalk walk(sysRoot, mountinfo);
    const std::string sourceDir = walk.DeviceDir(static_cast<dev_t>(sourceDevice));
    if (sourceDir.empty()) return false;
    walk.FromPath(directory, 0);
    return walk.Reached(WholeDiskDir(sourceDir));
}

}  // namespace velkor
