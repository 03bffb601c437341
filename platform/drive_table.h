#pragma once
// The drive table behind the Win32-shaped device calls on Linux: which physical
// drives and which drive letters exist, and where their bytes live.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Returns the volumes of the drive table in letter order (C onward). While the
// table is discovered rather than arranged, each call discovers it afresh, so a
// drive plugged in since the last call is listed.
std::vector<VolumeInfo> ListVolumes();

// ---------------------------------------------------------------------------
// Arrangement API, used by tests and by a host: sets up the drive table exactly
// instead of discovering it from the machine.

// A physical drive "\\.\PhysicalDrive<number>" whose bytes are the whole source.
struct ArrangedDisk {
    std::int32_t number = -1;
    std::string source;  // block device or image file
};

// A drive letter whose bytes are [offsetBytes, offsetBytes + sizeBytes) of source.
struct ArrangedVolume {
    std::string letter;  // "C" ... "Z"
    std::string source;
    std::int64_t offsetBytes = 0;
    std::int64_t sizeBytes = -1;  // -1: up to the end of the source
    std::int32_t diskNumber = -1;
    std::int32_t partitionNumber = 0;  // 0 for a volume that is a whole disk or image
    bool sizeQueryFails = false;       // as an unmounted (RAW) volume answers the size query
};

struct DriveTable {
    std::vector<ArrangedDisk> disks;
    std::vector<ArrangedVolume> volumes;
};

// Replaces the drive table with exactly these drives until UseDiscoveredDriveTable().
void ArrangeDriveTable(std::vector<ArrangedDisk> disks, std::vector<ArrangedVolume> volumes);

// Returns to the machine's own drives: the whole-disk block devices, then the
// image files named one absolute path per line by the environment variable
// VELKOR_IMAGES (read each time the table is discovered).
void UseDiscoveredDriveTable();

// Makes every read of source that touches bytes firstByte ... lastByte fail with
// EIO until ClearInjectedFaults(), as a card with unreadable sectors does: a read
// that starts before the range delivers the bytes up to it, one that starts inside fails.
void InjectReadFailure(std::string source, std::int64_t firstByte, std::int64_t lastByte);

// Removes every failure InjectReadFailure() set up.
void ClearInjectedFaults();

// ---------------------------------------------------------------------------
// Look-ups for the device calls.

// Returns the volume of letter (either case); nullopt when the table has none.
std::optional<ArrangedVolume> FindVolume(std::string_view letter);

// Returns the physical drive of number; nullopt when the table has none.
std::optional<ArrangedDisk> FindDisk(std::int32_t number);

// Returns how many of the size bytes at offset of source can be read before an
// injected failure (size when none lies ahead); -1 when offset itself lies in one.
std::int64_t ReadableBeforeInjectedFault(const std::string& source, std::int64_t offset, std::int64_t size);

}  // namespace velkor
