#pragma once
// Disk images with partition tables, for the suites of the partition locator and the drive selection.
#include <cstdint>
#include <string>
#include <vector>

#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "tests/support/scratch_files.h"

namespace velkor::testing {

struct Entry {
    std::uint8_t type = 0;
    std::uint32_t sectors = 0;
};

// A boot record with up to four entries. Start-sector fields hold junk that the
// locator must never use.
inline ByteSet BootRecord(const std::vector<Entry>& entries) {
    ByteSet sector(kSectorSize, 0);
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const std::size_t at = 446 + 16 * n;
        sector[at + 4] = entries[n].type;
        for (int i = 0; i < 4; ++i) {
            sector[at + 8 + static_cast<std::size_t>(i)] = 0xEE;
            sector[at + 12 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(entries[n].sectors >> (8 * i));
        }
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

// Writes the master boot record and a back-to-back chain of extended boot records
// holding logical partitions of the given sizes; returns the image path.
inline std::string DiskImage(const ScratchDir& dir, const std::string& name,
                      const std::vector<Entry>& master, const std::vector<std::uint32_t>& logicalSizes) {
    const std::string image = dir.File(name);
    PlaceBytes(image, 0, BootRecord(master));
    std::int64_t position = master.empty() ? 0 : master[0].sectors;
    for (const std::uint32_t size : logicalSizes) {
        position += 63;
        // The link entry points somewhere else on purpose: the walk must not follow it.
        PlaceBytes(image, position * kSectorSize, BootRecord({{0x07, size}, {0x05, 12345}}));
        position += size;
    }
    SizeFile(image, (position + 64) * kSectorSize);
    return image;
}

// Letters C ... of one disk without size answers, so the locator is what measures them.
inline std::vector<ArrangedVolume> UnsizedLetters(const std::string& image, std::int32_t disk, char first,
                                           int count) {
    std::vector<ArrangedVolume> volumes;
    for (char letter = first; letter < first + count; ++letter) {
        volumes.push_back(
            {.letter = std::string(1, letter), .source = image, .diskNumber = disk, .sizeQueryFails = true});
    }
    return volumes;
}

}  // namespace velkor::testing
