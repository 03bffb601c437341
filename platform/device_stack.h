#pragma once
// Which disks the bytes written into a directory reach, seen through partitions,
// device-mapper and md devices, loop devices and their backing files, and mounts
// whose device number is no block device (btrfs, overlayfs, FUSE). Everything is
// read from a sysfs tree and a mountinfo text handed in, so a test can build both.
#include <cstdint>
#include <string>
#include <string_view>

namespace velkor {

// Returns true when bytes written into directory can land on the whole disk of the
// block device numbered sourceDevice (as stat's st_rdev; the whole disk is a
// partition's parent, otherwise the device itself), looking devices up under
// sysRoot (normally "/sys") and mounts in mountinfo (the text of
// /proc/self/mountinfo); false when the directory, the source or the way from
// one to the other cannot be found.
bool DeviceStackReaches(const std::string& sysRoot, std::string_view mountinfo, const std::string& directory,
                        std::uint64_t sourceDevice);

}  // namespace velkor
