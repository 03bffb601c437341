#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/drive_discovery.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr char kFirstLetter = 'C';
constexpr char kLastLetter = 'Z';
// sysfs counts device sizes in 512-byte units whatever the logical block size.
constexpr std::int64_t kSysfsSectorBytes = 512;

struct BlockPartition {
    std::string name;
    std::int32_t number = 0;
};

struct BlockDisk {
    std::string name;
    std::vector<BlockPartition> partitions;
};

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string_view DigitRun(std::string_view text, std::size_t from) {
    std::size_t end = from;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return text.substr(from, end - from);
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

// Name order with digit runs compared as numbers, so loop10 follows loop9.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view runA = DigitRun(a, i);
            const std::string_view runB = DigitRun(b, j);
            const std::string_view numberA = WithoutLeadingZeros(runA);
            const std::string_view numberB = WithoutLeadingZeros(runB);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i += runA.size();
            j += runB.size();
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// mmcblkNbootM and mmcblkNrpmb are firmware areas of a card, not disks a user
// would recover from, so only mmcblkN itself qualifies.
bool IsWholeDiskName(const std::string& name) {
    static const std::regex kWholeDisk("(sd|vd)[a-z]+|nvme[0-9]+n[0-9]+|mmcblk[0-9]+|loop[0-9]+");
    return std::regex_match(name, kWholeDisk);
}

// An unbound loop device has no loop/ directory and no bytes.
bool IsUsableDisk(const fs::path& diskDir) {
    const std::string name = diskDir.filename().string();
    if (!IsWholeDiskName(name)) return false;
    std::error_code ignored;
    return name.rfind("loop", 0) != 0 || fs::is_directory(diskDir / "loop", ignored);
}

std::int32_t ParsePartitionNumber(const std::string& text) {
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc{} && end != text.data() ? number : 0;
}

std::vector<BlockPartition> PartitionsOf(const fs::path& diskDir) {
    std::vector<BlockPartition> partitions;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(diskDir, error)) {
        const std::int32_t number =
            ParsePartitionNumber(ReadSmallTextFile((entry.path() / "partition").string()));
        if (number > 0) partitions.push_back({entry.path().filename().string(), number});
    }
    std::sort(partitions.begin(), partitions.end(),
              [](const BlockPartition& a, const BlockPartition& b) { return a.number < b.number; });
    return partitions;
}

std::vector<BlockDisk> BlockDisksIn(const std::string& sysBlockDir) {
    std::vector<BlockDisk> disks;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysBlockDir, error)) {
        if (!IsUsableDisk(entry.path())) continue;
        disks.push_back({entry.path().filename().string(), PartitionsOf(entry.path())});
    }
    std::sort(disks.begin(), disks.end(),
              [](const BlockDisk& a, const BlockDisk& b) { return NaturalLess(a.name, b.name); });
    return disks;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

// Hands out drive letters C ... Z in order and then no more.
class LetterSource {
  public:
    bool Exhausted() const { return next_ > kLastLetter; }
    std::string Take() { return std::string(1, next_++); }

  private:
    char next_ = kFirstLetter;
};

// The next letter goes to the whole of source, the partitionNumber-th partition of disk (0: none).
void AddVolume(DriveTable& table, LetterSource& letters, const std::string& source, std::int32_t disk,
               std::int32_t partitionNumber) {
    if (letters.Exhausted()) return;
    table.volumes.push_back(
        {.letter = letters.Take(), .source = source, .diskNumber = disk, .partitionNumber = partitionNumber});
}

void AddBlockDisk(DriveTable& table, LetterSource& letters, const BlockDisk& disk,
                  const std::string& devDir) {
    const auto number = static_cast<std::int32_t>(table.disks.size());
    table.disks.push_back({number, devDir + "/" + disk.name});
    if (disk.partitions.empty()) AddVolume(table, letters, devDir + "/" + disk.name, number, 0);
    for (const BlockPartition& partition : disk.partitions) {
        AddVolume(table, letters, devDir + "/" + partition.name, number, partition.number);
    }
}

void AddImage(DriveTable& table, LetterSource& letters, const std::string& image) {
    const auto number = static_cast<std::int32_t>(table.disks.size());
    table.disks.push_back({number, image});
    AddVolume(table, letters, image, number, 0);
}

std::int64_t BlockDeviceSize(dev_t device) {
    const std::string sizePath =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/size";
    const std::string text = ReadSmallTextFile(sizePath);
    std::int64_t sectors = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), sectors);
    if (error != std::errc{} || end == text.data() || sectors < 0) return -1;
    return sectors * kSysfsSectorBytes;
}

bool IsOctalEscapeAt(std::string_view text, std::size_t at) {
    if (text[at] != '\\' || text.size() - at < 4) return false;
    const std::string_view digits = text.substr(at + 1, 3);
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; });
}

}  // namespace

std::string DecodeMountPath(std::string_view field) {
    std::string path;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (!IsOctalEscapeAt(field, i)) {
            path += field[i];
            continue;
        }
        path += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                  (field[i + 3] - '0'));
        i += 3;
    }
    return path;
}

DriveTable DiscoverDriveTable(const std::string& sysBlockDir, const std::string& devDir,
                              const std::vector<std::string>& imagePaths) {
    DriveTable table;
    LetterSource letters;
    for (const BlockDisk& disk : BlockDisksIn(sysBlockDir)) AddBlockDisk(table, letters, disk, devDir);
    for (const std::string& image : imagePaths) {
        if (IsRegularFile(image)) AddImage(table, letters, image);
    }
    return table;
}

std::string MountPointOf(std::string_view mountinfo, std::uint32_t major, std::uint32_t minor) {
    const std::string wanted = std::to_string(major) + ":" + std::to_string(minor);
    std::istringstream lines{std::string(mountinfo)};
    for (std::string line; std::getline(lines, line);) {
        // Fields: mount id, parent id, major:minor, root, mount point, ...
        std::istringstream fields(line);
        std::string mountId, parentId, device, root, mountPoint;
        if (fields >> mountId >> parentId >> device >> root >> mountPoint && device == wanted) {
            return DecodeMountPath(mountPoint);
        }
    }
    return {};
}

std::int64_t SourceSizeBytes(const std::string& source) {
    struct stat info {};
    if (stat(source.c_str(), &info) != 0) return -1;
    if (S_ISREG(info.st_mode)) return info.st_size;
    if (S_ISBLK(info.st_mode)) return BlockDeviceSize(info.st_rdev);
    return -1;
}

std::uint64_t FileBirth(int directory, const char* path, int flags) {
    struct statx info {};
    if (statx(directory, path, flags, STATX_BTIME, &info) != 0 || (info.stx_mask & STATX_BTIME) == 0) return 0;
    return static_cast<std::uint64_t>(info.stx_btime.tv_sec) * 1000000000u + info.stx_btime.tv_nsec;
}

std::string ReadSmallTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace velkor
