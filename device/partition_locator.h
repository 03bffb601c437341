#pragma once
// Drive selection and the partition-table walk behind it.
#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace velkor {

class DriveBox;

// Sets SelectedDrive from the drive box, DeviceSectors from the volume's size (or
// the partition tables when that is 0) and ScanPosition to 0.
void SelectDrive(const DriveBox& driveBox);
// The same for a letter given directly.
void SelectDriveLetter(const std::string& letter);

// Sector count of the partition behind letter; 0 when none is found.
std::int64_t LocatePartitionSectors(const std::string& letter);

// Rank (1, 2, ...) of letter among B ... Z on the same physical drive; -1 when absent.
std::int32_t VolumeOrdinalOnDisk(const std::string& letter);

// Upper-case hex text, two digits per byte; empty for an empty byte set.
std::string ByteSetHexText(ByteView bytes);

// The last 132 characters of a sector's hex text (bytes 446 ... 511).
std::string PartitionTableText(const std::string& sectorHexText);

}  // namespace velkor
