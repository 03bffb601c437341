#pragma once
// The drive table behind the Win32-shaped device calls on Linux: which physical
// drives and which drive letters exist, and where their bytes live.
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// What tells one device from another behind the same name: a card swapped in a
// reader keeps its /dev name but not its disk sequence number, an image replaced
// by another file keeps its path but not its inode.
struct DeviceIdentity {
    std::uint64_t device = 0;    // st_rdev of a block device, st_dev of an image file
    std::uint64_t inode = 0;     // the image file's inode; 0 for a block device
    // A block device's disk sequence number, given anew by the kernel to every medium
    // it attaches; an image file's birth time, which a new file under a reused inode
    // does not share (0: the system does not tell).
    std::uint64_t sequence = 0;
    bool operator==(const DeviceIdentity&) const = default;
};

// Returns the identity of the block device or file at source; nullopt when it does not exist.
std::optional<DeviceIdentity> IdentityOfSource(const std::string& source);

// Returns bytes as the drive box and the status bar show a size: binary units,
// one decimal ("3.0 MiB", "59.5 GiB").
std::string SizeText(std::int64_t bytes);

// One volume as the drive box shows it.
struct VolumeInfo {
    std::string letter;       // "C" ... "Z", the letter alone
    std::string source;       // block device or image file the bytes come from
    std::string description;  // what a user recognises: device or image name and size
    std::int32_t diskNumber = -1;
    std::int64_t sizeBytes = 0;
    bool isImage = false;                     // source is a regular file, not a block device
    std::optional<DeviceIdentity> identity = std::nullopt;  // nullopt when the source no longer exists
    bool operator==(const VolumeInfo&) const = default;
};

// Returns the volumes of the drive table in letter order (C onward). While the
// table is discovered rather than arranged, each call discovers it afresh, so a
// drive plugged in since the last call is listed. A letter stays bound to one
// device for the life of the process: a new device takes the next letter never
// used, and the letter of a device that went away is not given to another.
std::vector<VolumeInfo> ListVolumes();

// Returns letter's volume as ListVolumes() describes it now; nullopt when it is not listed.
std::optional<VolumeInfo> CurrentVolume(std::string_view letter);

// Returns the letter of the first image named in VELKOR_IMAGES that is offered as a
// drive, the one to select when the window opens; nullopt when none is (or the table is arranged).
std::optional<std::string> LetterOfFirstImage();

// Returns "path: reason" for every image the host named that is not offered as a
// drive (missing, a directory, unreadable, empty, no letter left), as of the last
// discovery, the path in printable UTF-8; empty when every one is offered or the table is arranged.
std::vector<std::string> ImagesNotOffered();

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
    // The letter is the system's own (Windows names its volumes): it is kept, and the
    // images take letters the system does not use.
    bool systemLetter = false;
    // The device the letter was given to; reads refuse any other found at source
    // later. Arranging records it when left unset and the source exists.
    std::optional<DeviceIdentity> identity = std::nullopt;
};

struct DriveTable {
    std::vector<ArrangedDisk> disks;
    std::vector<ArrangedVolume> volumes;
};

// Replaces the drive table with exactly these drives until UseDiscoveredDriveTable().
void ArrangeDriveTable(std::vector<ArrangedDisk> disks, std::vector<ArrangedVolume> volumes);

// Returns to the machine's own drives: the whole-disk block devices, then the
// image files named by the environment variables VELKOR_IMAGES and
// VELKOR_EXTRA_IMAGES in EncodeImageList's form (read each time the table is
// discovered), each file once.
void UseDiscoveredDriveTable();

// Makes every read of source that touches bytes firstByte ... lastByte fail with
// error (an errno value: EIO as a card with unreadable sectors, ENODEV as a reader
// pulled out) until ClearInjectedFaults(): a read that starts before the range
// delivers the bytes up to it, one that starts inside fails.
void InjectReadFailure(std::string source, std::int64_t firstByte, std::int64_t lastByte, int error = EIO);

// Makes source deliver at most bytesPerSecond, as a slow card reader would, until
// ClearInjectedFaults(): each read waits until the simulated drive has had the time
// to deliver it behind the reads before it (0 delivers at once again).
void SimulateBandwidth(std::string source, std::int64_t bytesPerSecond);

// Removes every failure InjectReadFailure() and every bandwidth SimulateBandwidth() set up.
void ClearInjectedFaults();

// ---------------------------------------------------------------------------
// Look-ups for the device calls.

// Returns the volume of letter (either case); nullopt when the table has none.
std::optional<ArrangedVolume> FindVolume(std::string_view letter);

// Returns the physical drive of number; nullopt when the table has none.
std::optional<ArrangedDisk> FindDisk(std::int32_t number);

// Waits until a simulated drive (SimulateBandwidth) has delivered bytes more of source.
// Safe from any thread, as is ReadableBeforeInjectedFault.
void WaitForSimulatedDrive(const std::string& source, std::int64_t bytes);

// Returns how many of the size bytes at offset of source can be read before an
// injected failure (size when none lies ahead); -1 when offset itself lies in
// one, with error set to the errno it injects.
std::int64_t ReadableBeforeInjectedFault(const std::string& source, std::int64_t offset, std::int64_t size,
                                         int& error);

}  // namespace velkor
