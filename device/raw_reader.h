#pragma once
// Raw reading of volumes and physical drives: the only place that touches a device.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace velkor {

inline constexpr std::int64_t kSectorSize = 512;
inline constexpr std::int64_t kChunkSectors = 100000;
inline constexpr std::int64_t kChunkBytes = kChunkSectors * kSectorSize;
// The most sectors a listed photo takes: 128 MB, beyond the largest JPEGs cameras write.
inline constexpr std::int64_t kLongestPhotoSectors = 250000;

// What a read could not deliver. The bytes are always the full length asked for;
// this tells which of them are zeros standing in for the drive's own.
struct ReadReport {
    bool opened = false;                   // false: the volume could not be opened at all
    bool gone = false;                     // the device is not there (any more): removed, unplugged, replaced
    bool denied = false;                   // the system refused access to it
    std::int64_t deliveredBytes = 0;       // bytes that came from the drive, from the start of the read
    std::int64_t unreadableSectors = 0;    // sectors the drive failed to deliver, zero-filled
    std::int64_t firstUnreadableSector = -1;  // the first of them, counted from the volume's start
    std::string reason;                    // the system's words for the first failure; empty when none
    // Sectors of the first wanted sectors that did not come from the drive: unreadable, or past its end.
    std::int64_t MissingOf(std::int64_t wanted) const;
};

// Returns 51,200,000 bytes from sector start of the volume (zero where nothing
// could be read); an empty byte set when the volume cannot be opened.
ByteSet ReadVolumeChunk(const std::string& letter, std::int64_t start);

// The same bytes as ReadVolumeChunk, read into chunk from byte at onward so that its
// storage is reused from one chunk to the next: chunk ends up at + 51,200,000 bytes
// long, or is cut back to at bytes when the volume cannot be opened. Returns what
// could not be read.
ReadReport ReadVolumeChunkInto(const std::string& letter, std::int64_t start, ByteSet& chunk, std::size_t at = 0);

// Returns count sectors from sector start (count is clamped to 0 ... kLongestPhotoSectors,
// so that a listed photo is read whole), zero where nothing could be read; empty when the
// volume cannot be opened. report, when given, receives what could not be read.
ByteSet ReadVolumeSectors(const std::string& letter, std::int64_t start, std::int64_t count,
                          ReadReport* report = nullptr);

// A volume opened on the calling thread to be read on another one: a scan reads the
// next chunk while it works on the current one.
class VolumeReader {
public:
    explicit VolumeReader(const std::string& letter);
    VolumeReader(VolumeReader&& other) noexcept;
    VolumeReader& operator=(VolumeReader&&) = delete;
    ~VolumeReader();
    // Reads bytes from sector start into into, zero where nothing could be read; gives up
    // between requests of at most 1 MiB once stop turns true, the rest left zero.
    ReadReport Read(std::int64_t start, std::uint8_t* into, std::int64_t bytes, const std::atomic<bool>& stop);

private:
    void* handle_;
    ReadReport opening_;  // what opening the volume met
};

// The same bytes as ReadVolumeSectors, read into into, whose storage is reused from one
// read to the next; into is left empty when the volume cannot be opened.
ReadReport ReadVolumeSectorsInto(const std::string& letter, std::int64_t start, std::int64_t count, ByteSet& into);

// Returns sector of physical drive disk (512 bytes); empty when the drive cannot be opened.
ByteSet ReadDiskSector(std::int32_t disk, std::int64_t sector);

// Returns the volume's total size in bytes; 0 when the query fails.
std::int64_t GetVolumeTotalBytes(const std::string& letter);

// Returns the number of the physical drive that holds the volume; -1 when the query fails.
std::int32_t GetVolumeDiskNumber(const std::string& letter);

// Binary digits of value, most significant first, without leading zeros ("0" for 0).
std::string ToBinaryText(std::int64_t value);
// text right-aligned in 64 characters, padded on the left with "0".
std::string PadBinaryText64(const std::string& text);
// The value of the first 32 binary digits of text (0 ... 2^32 - 1).
std::int64_t BinaryTextToValue(const std::string& text);

}  // namespace velkor
