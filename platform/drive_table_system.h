#pragma once
// What the drive table asks of the system it runs on: the drives the machine has, what a
// source is and how much of it a volume covers. One implementation per system.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/drive_table.h"

namespace velkor {

// Returns the machine's drives followed by images (each a usable image file), without letters:
// the drive table binds them.
DriveTable DiscoverSystemDrives(const std::vector<std::string>& images);

// Returns true when source is a regular file (an image), not a device.
bool IsImageFile(const std::string& source);

// Returns the size in bytes of a device (without needing to read it, where the
// system allows) or of an image file; -1 when it cannot be had.
std::int64_t SourceSizeBytes(const std::string& source);

// Returns how many bytes of its source the volume covers; 0 when the source cannot be measured.
std::int64_t VolumeExtentBytes(const ArrangedVolume& volume);

}  // namespace velkor
