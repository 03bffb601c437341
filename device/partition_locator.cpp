#include "device/partition_locator.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "device/radix.h"
#include "device/raw_reader.h"

namespace velkor {
namespace {

constexpr std::string_view kSearchedLetters = "BCDEFGHIJKLMNOPQRSTUVWXYZ";
// Each logical partition is taken to sit behind a 63-sector gap that opens with its boot record.
constexpr std::int64_t kLogicalGapSectors = 63;
constexpr std::size_t kTableTextLength = 132;
constexpr std::size_t kEntryTextLength = 32;
constexpr std::size_t kTypeTextOffset = 8;    // entry byte 4
constexpr std::size_t kCountTextOffset = 24;  // entry bytes 12 ... 15
constexpr std::string_view kExtendedType = "0F";
constexpr std::string_view kEmptyType = "00";

// Up to length characters of text from position from; shorter or empty where the text ends,
// so the table text of an unreadable sector yields empty fields.
std::string Slice(const std::string& text, std::size_t from, std::size_t length) {
    return from >= text.size() ? std::string() : text.substr(from, length);
}

std::string EntryType(const std::string& table, std::int32_t entry) {
    return Slice(table, static_cast<std::size_t>(entry - 1) * kEntryTextLength + kTypeTextOffset, 2);
}

std::int64_t EntrySectorCount(const std::string& table, std::int32_t entry) {
    return LittleEndianHexValue(
        Slice(table, static_cast<std::size_t>(entry - 1) * kEntryTextLength + kCountTextOffset, 8));
}

bool IsExtended(std::string_view type) { return type == kExtendedType; }
bool IsEmpty(std::string_view type) { return type == kEmptyType; }

std::string TableTextOfSector(std::int32_t disk, std::int64_t sector) {
    return PartitionTableText(ByteSetHexText(ReadDiskSector(disk, sector)));
}

// Steps rank - 1 times through back-to-back logical partitions, never following
// the boot records' links; returns the count in the last boot record reached.
std::int64_t LogicalPartitionSectors(std::int32_t disk, const std::string& masterTable, std::int32_t rank) {
    std::int64_t result = 0;
    std::int64_t position = 0;
    std::string table = masterTable;
    for (std::int32_t step = 1; step < rank; ++step) {
        position += EntrySectorCount(table, 1) + kLogicalGapSectors;
        table = TableTextOfSector(disk, position);
        result = EntrySectorCount(table, 1);
    }
    return result;
}

// Ranks 1 and 2 take their entry even when it is empty; ranks 3 and 4 only when it
// holds a partition. No rank takes an extended entry.
std::optional<std::int64_t> PrimaryPartitionSectors(const std::string& masterTable, std::int32_t rank) {
    if (rank < 1 || rank > 4) return std::nullopt;
    const std::string type = EntryType(masterTable, rank);
    if (IsExtended(type) || (rank >= 3 && IsEmpty(type))) return std::nullopt;
    return EntrySectorCount(masterTable, rank);
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::int64_t LocatePartitionSectors(const std::string& letter) {
    const std::int32_t disk = GetVolumeDiskNumber(letter);
    const std::string masterTable = TableTextOfSector(disk, 0);
    const std::int32_t rank = VolumeOrdinalOnDisk(letter);
    const std::int64_t chainResult =
        IsExtended(EntryType(masterTable, 2)) ? LogicalPartitionSectors(disk, masterTable, rank) : 0;
    return PrimaryPartitionSectors(masterTable, rank).value_or(chainResult);
}

std::int32_t VolumeOrdinalOnDisk(const std::string& letter) {
    const std::int32_t disk = GetVolumeDiskNumber(letter);
    const std::string wanted = UpperCase(letter);
    std::int32_t count = -1;
    for (const char candidate : kSearchedLetters) {
        const std::string candidateLetter(1, candidate);
        if (GetVolumeDiskNumber(candidateLetter) != disk) continue;
        ++count;
        if (candidateLetter == wanted) return count + 1;
    }
    return -1;
}

std::string ByteSetHexText(ByteView bytes) {
    static constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0F]);
    }
    return text;
}

std::string PartitionTableText(const std::string& sectorHexText) {
    return sectorHexText.size() <= kTableTextLength
               ? sectorHexText
               : sectorHexText.substr(sectorHexText.size() - kTableTextLength);
}

}  // namespace velkor
