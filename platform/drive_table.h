#pragma once
// The drive table behind the Win32-shaped device calls on Linux: which physical
// drives and which drive letters exist, and where their bytes live.
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// One volume as the drive box shows it.
struct VolumeInfo {
    std::string letter;       // "C" ... "Z", the letter alone
    std::string source;       // block device or image file the bytes come from
    std::string description;  // what a user recognises: device or image name and size
    std::int32_t diskNumber = -1;
    std::int64_t sizeBytes = 0;
};

// Returns the volumes of the drive table in letter order (C onward).
std::vector<VolumeInfo> ListVolumes();

}  // namespace velkor
