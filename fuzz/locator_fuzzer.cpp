// LocatePartitionSectors over a drive whose sectors are arbitrary: boot records whose
// counts point past the end, whose links point back at themselves, tables of garbage.
// Input: how many of the letters C ... Z lie on the drive, which letter is asked for,
// then records of a sector number (16 bits, little-endian) and that sector's bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/partition_locator.h"
#include "platform/drive_table.h"

namespace {

constexpr std::size_t kSectorBytes = 512;
constexpr std::size_t kRecordBytes = 2 + kSectorBytes;

// The drive's bytes live in memory; the drive layer opens it by path like any image.
int DriveMemory() {
    static const int fd = memfd_create("velkor-fuzz-drive", MFD_CLOEXEC);
    return fd;
}

void LayOutDrive(const std::uint8_t* records, std::size_t size) {
    const int fd = DriveMemory();
    if (ftruncate(fd, 0) != 0) std::abort();
    for (std::size_t at = 0; at < size; at += kRecordBytes) {
        const std::size_t sector = records[at] | (at + 1 < size ? records[at + 1] << 8 : 0);
        const std::size_t length = std::min(kSectorBytes, size - std::min(size, at + 2));
        if (length > 0 && pwrite(fd, records + at + 2, length, static_cast<off_t>(sector * kSectorBytes)) < 0) std::abort();
    }
}

// Letters C ... up to count of them on disk 0, the rest of C ... Z on disk 1, which has no bytes.
void ArrangeLetters(int onDrive) {
    const std::string drive = "/proc/self/fd/" + std::to_string(DriveMemory());
    std::vector<velkor::ArrangedVolume> volumes;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const bool onFirst = letter - 'C' < onDrive;
        volumes.push_back({.letter = std::string(1, letter), .source = drive, .diskNumber = onFirst ? 0 : 1,
                           .sizeQueryFails = true});
    }
    velkor::ArrangeDriveTable({{0, drive}}, std::move(volumes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    LayOutDrive(data + 2, size - 2);
    ArrangeLetters(1 + data[0] % 24);
    const std::string letter(1, static_cast<char>('A' + data[1] % 26));
    const std::int64_t sectors = velkor::LocatePartitionSectors(letter);
    if (sectors < 0 || sectors > 0xFFFFFFFFLL) std::abort();
    const std::int32_t rank = velkor::VolumeOrdinalOnDisk(letter);
    if (rank < -1 || rank == 0 || rank > 24) std::abort();
    return 0;
}
