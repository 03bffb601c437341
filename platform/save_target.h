#pragma once
// Whether a directory lies on the drive that is being recovered.
#include <string>

namespace velkor {

// Returns true when files written into directory would land on the disk that
// holds letter's volume: on that volume, another volume of the same disk, or a
// file system stacked on it (loop devices over its files, device-mapper, md,
// btrfs members, an overlay's upper layer, bind mounts). An image file's own
// bytes are never written by saving beside it, so a directory next to an image is allowed.
bool DirectoryLiesOnDrive(const std::string& directory, const std::string& letter);

}  // namespace velkor
