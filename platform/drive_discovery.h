#pragma once
// How the drive table is found on a Linux machine: whole-disk block devices from
// sysfs, their partitions, image files named by the host, mount points. Used by
// the drive table and the device calls inside platform/, and by their tests.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_table.h"
#include "platform/drive_table_system.h"

namespace velkor {

// Returns the table of the block devices under sysBlockDir (normally /sys/block)
// followed by imagePaths: disks numbered 0, 1, ... in natural name order (sd*,
// vd*, nvme*n*, mmcblk*, bound loop*; never ram or zram), then one disk per image
// that is a regular file; letters C ... Z go to each disk's partitions in
// partition order, to the whole disk when it has none, and to each image. Device
// paths are devDir + "/" + name. Empty when sysBlockDir cannot be read and no image exists.
DriveTable DiscoverDriveTable(const std::string& sysBlockDir, const std::string& devDir,
                              const std::vector<std::string>& imagePaths);

// Returns the mount point of device major:minor in a /proc/self/mountinfo text,
// escapes decoded; empty when the device is not mounted.
std::string MountPointOf(std::string_view mountinfo, std::uint32_t major, std::uint32_t minor);

// Returns a mountinfo field (mount point, source, option value) with the \ooo
// escapes the kernel writes for space, tab, newline, comma and backslash decoded.
std::string DecodeMountPath(std::string_view field);


// Returns the birth time in nanoseconds of the file at path relative to the
// directory descriptor (statx arguments); 0 when the file system does not keep one.
std::uint64_t FileBirth(int directory, const char* path, int flags);

// Returns the whole content of a small text file (sysfs attribute, /proc file); empty when unreadable.
std::string ReadSmallTextFile(const std::string& path);

}  // namespace velkor
