#include "device/raw_reader.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "platform/win32_device.h"

namespace velkor {
namespace {

using win32::DWORD;
using win32::HANDLE;
using win32::LONG;

constexpr const char* kDeviceNamespace = "\\\\.\\";
constexpr DWORD kShareReadWrite = win32::FILE_SHARE_READ | win32::FILE_SHARE_WRITE;
constexpr std::size_t kHalfDigits = 32;

// A device handle closed when the operation ends; a failed open is never closed.
class DeviceHandle {
  public:
    explicit DeviceHandle(HANDLE handle) : handle_(handle) {}
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    ~DeviceHandle() {
        if (IsOpen()) win32::CloseHandle(handle_);
    }
    bool IsOpen() const { return handle_ != win32::INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

std::string VolumePath(const std::string& letter) { return kDeviceNamespace + letter + ":"; }

std::string PhysicalDrivePath(std::int32_t disk) {
    return std::string(kDeviceNamespace) + "PhysicalDrive" + std::to_string(disk);
}

HANDLE OpenForReading(const std::string& path) {
    return win32::CreateFileA(path.c_str(), win32::GENERIC_READ, kShareReadWrite, nullptr,
                              win32::OPEN_EXISTING, 0, nullptr);
}

// Sector times 512 in double precision, truncated; a product beyond the 64-bit
// range saturates, which lands past the end of any device and reads nothing.
std::int64_t SectorByteOffset(std::int64_t sector) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    const double offset = static_cast<double>(sector) * static_cast<double>(kSectorSize);
    if (offset >= kTwoTo63) return INT64_MAX;
    if (offset < -kTwoTo63) return INT64_MIN;
    return static_cast<std::int64_t>(offset);
}

struct SeekHalves {
    LONG low = 0;
    LONG high = 0;
};

SeekHalves SplitByteOffset(std::int64_t offset) {
    const std::string digits = PadBinaryText64(ToBinaryText(offset));
    const auto high = static_cast<DWORD>(BinaryTextToValue(digits.substr(0, kHalfDigits)));
    const auto low = static_cast<DWORD>(BinaryTextToValue(digits.substr(kHalfDigits, kHalfDigits)));
    return {static_cast<LONG>(low), static_cast<LONG>(high)};
}

// A device that answers with one of these is not there to be read any more.
bool IsGoneError(DWORD code) {
    return code == win32::ERROR_FILE_NOT_FOUND || code == win32::ERROR_NOT_READY ||
           code == win32::ERROR_DEVICE_NOT_CONNECTED || code == win32::ERROR_INVALID_HANDLE;
}

void NoteFailure(ReadReport& report) {
    if (report.reason.empty()) report.reason = win32::LastErrorText();
    report.gone = report.gone || IsGoneError(win32::GetLastError());
    report.denied = report.denied || win32::GetLastError() == win32::ERROR_ACCESS_DENIED;
}

// Requests stay this small so that a read on a slow drive can be stopped between them.
constexpr std::int64_t kLargestRequest = std::int64_t{1} << 20;

// Reads size bytes at byteOffset into buffer, until stop (when given) turns true. A device fails a whole request for
// one bad sector, so a failed request is retried from where it failed, up to the
// end of that sector alone: only a sector that fails alone is left zero, and
// reading goes on behind it with requests that grow again. A device that went
// away ends the read.
void ReadAllInto(HANDLE device, std::int64_t byteOffset, std::uint8_t* buffer, std::int64_t size, ReadReport& report,
                 const std::atomic<bool>* stop = nullptr) {
    std::int64_t done = 0;
    std::int64_t step = kLargestRequest;
    while (done < size && (stop == nullptr || !stop->load())) {
        const std::int64_t length = std::min(step, size - done);
        const SeekHalves halves = SplitByteOffset(byteOffset + done);
        LONG high = halves.high;
        win32::SetFilePointer(device, halves.low, &high, win32::FILE_BEGIN);
        DWORD got = 0;
        const bool ok = win32::ReadFile(device, buffer + done, static_cast<DWORD>(length), &got, nullptr) != 0;
        done += got;
        if (ok && static_cast<std::int64_t>(got) < length) break;  // the volume ends here
        if (ok) {
            step = std::min(step * 2, kLargestRequest);
            continue;
        }
        NoteFailure(report);
        if (report.gone) break;
        const std::int64_t restOfSector = kSectorSize - (byteOffset + done) % kSectorSize;
        if (got > 0 || length > restOfSector) {
            step = restOfSector;
            continue;
        }
        std::fill(buffer + done, buffer + done + length, std::uint8_t{0});
        if (report.firstUnreadableSector < 0) report.firstUnreadableSector = (byteOffset + done) / kSectorSize;
        ++report.unreadableSectors;
        done += length;
        step = kSectorSize;
    }
    report.deliveredBytes = done;
}

// Reads size bytes at sector into block from byte at onward, so that block ends up
// at + size bytes long; block is cut back to at bytes when the device cannot be opened.
ReadReport ReadFromDeviceInto(const std::string& path, std::int64_t sector, DWORD size, ByteSet& block, std::size_t at) {
    ReadReport report;
    const DeviceHandle device(OpenForReading(path));
    if (!device.IsOpen()) {
        NoteFailure(report);
        block.resize(at);
        return report;
    }
    report.opened = true;
    block.resize(at + size);
    ReadAllInto(device.Get(), SectorByteOffset(sector), block.data() + at, size, report);
    // Whatever did not arrive is zero and the block keeps its full length, so a
    // scan walks past unreadable ranges; the report says where they were.
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(at) + report.deliveredBytes, block.end(), std::uint8_t{0});
    return report;
}

ByteSet ReadFromDevice(const std::string& path, std::int64_t sector, DWORD size, ReadReport* report = nullptr) {
    ByteSet block;
    const ReadReport outcome = ReadFromDeviceInto(path, sector, size, block, 0);
    if (report != nullptr) *report = outcome;
    return block;
}

}  // namespace

std::int64_t ReadReport::MissingOf(std::int64_t wanted) const {
    const std::int64_t fromDrive = deliveredBytes / kSectorSize - unreadableSectors;
    return std::max<std::int64_t>(0, wanted - std::min(wanted, fromDrive));
}

ByteSet ReadVolumeChunk(const std::string& letter, std::int64_t start) {
    return ReadFromDevice(VolumePath(letter), start, static_cast<DWORD>(kChunkBytes));
}

ReadReport ReadVolumeChunkInto(const std::string& letter, std::int64_t start, ByteSet& chunk, std::size_t at) {
    return ReadFromDeviceInto(VolumePath(letter), start, static_cast<DWORD>(kChunkBytes), chunk, at);
}

ByteSet ReadVolumeSectors(const std::string& letter, std::int64_t start, std::int64_t count, ReadReport* report) {
    ByteSet sectors;
    const ReadReport outcome = ReadVolumeSectorsInto(letter, start, count, sectors);
    if (report != nullptr) *report = outcome;
    return sectors;
}

VolumeReader::VolumeReader(const std::string& letter) : handle_(OpenForReading(VolumePath(letter))) {
    if (handle_ == win32::INVALID_HANDLE_VALUE) NoteFailure(opening_);
    opening_.opened = handle_ != win32::INVALID_HANDLE_VALUE;
}

VolumeReader::VolumeReader(VolumeReader&& other) noexcept
    : handle_(std::exchange(other.handle_, win32::INVALID_HANDLE_VALUE)), opening_(std::move(other.opening_)) {}

VolumeReader::~VolumeReader() {
    if (handle_ != win32::INVALID_HANDLE_VALUE) win32::CloseHandle(handle_);
}

ReadReport VolumeReader::Read(std::int64_t start, std::uint8_t* into, std::int64_t bytes, const std::atomic<bool>& stop) {
    ReadReport report = opening_;
    if (!report.opened) return report;
    ReadAllInto(handle_, SectorByteOffset(start), into, bytes, report, &stop);
    std::fill(into + report.deliveredBytes, into + bytes, std::uint8_t{0});
    return report;
}

ReadReport ReadVolumeSectorsInto(const std::string& letter, std::int64_t start, std::int64_t count, ByteSet& into) {
    const std::int64_t sectors = std::clamp<std::int64_t>(count, 0, kLongestPhotoSectors);
    return ReadFromDeviceInto(VolumePath(letter), start, static_cast<DWORD>(sectors * kSectorSize), into, 0);
}

ByteSet ReadDiskSector(std::int32_t disk, std::int64_t sector) {
    return ReadFromDevice(PhysicalDrivePath(disk), sector, static_cast<DWORD>(kSectorSize));
}

std::int64_t GetVolumeTotalBytes(const std::string& letter) {
    win32::ULONGLONG available = 0;
    win32::ULONGLONG total = 0;
    win32::ULONGLONG free = 0;
    // A failed query leaves total at 0, which sends the drive selection to the partition tables.
    win32::GetDiskFreeSpaceExA((letter + ":").c_str(), &available, &total, &free);
    return static_cast<std::int64_t>(total);
}

std::int32_t GetVolumeDiskNumber(const std::string& letter) {
    win32::STORAGE_DEVICE_NUMBER record{};
    // The control call needs query access only; write access would be refused on read-only media.
    const DeviceHandle device(win32::CreateFileA(VolumePath(letter).c_str(), win32::QUERY_ACCESS,
                                                 kShareReadWrite, nullptr, win32::OPEN_EXISTING,
                                                 win32::FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD returned = 0;
    const win32::BOOL answered =
        win32::DeviceIoControl(device.Get(), win32::IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &record,
                               sizeof record, &returned, nullptr);
    return answered != 0 ? static_cast<std::int32_t>(record.DeviceNumber) : -1;
}

std::string ToBinaryText(std::int64_t value) {
    if (value == 0) return "0";
    std::string digits;
    // For an odd value, (value - 1) / 2 and value / 2 agree under truncation.
    for (; value > 1; value /= 2) digits.push_back(value % 2 == 0 ? '0' : '1');
    digits.push_back('1');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string PadBinaryText64(const std::string& text) {
    constexpr std::size_t kWidth = 64;
    return text.size() >= kWidth ? text : std::string(kWidth - text.size(), '0') + text;
}

std::int64_t BinaryTextToValue(const std::string& text) {
    std::int64_t value = 0;
    const std::size_t digits = std::min(text.size(), kHalfDigits);
    for (std::size_t i = 0; i < digits; ++i) {
        if (text[i] == '1') value += std::int64_t{1} << (kHalfDigits - 1 - i);
    }
    return value;
}

}  // namespace velkor
