#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/device_source.h"
#include "platform/drive_table.h"
#include "platform/win32_device.h"

namespace velkor::win32 {
namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";
constexpr std::string_view kPhysicalDrive = "PhysicalDrive";
constexpr DWORD kFileDeviceDisk = 0x7;
constexpr std::int64_t kNoLimit = -1;

thread_local DeviceError tLastError;

// Records the failure as the thread's last; returns failure for the caller to return.
template <typename T>
T Fail(DeviceError error, T failure) {
    tLastError = std::move(error);
    return failure;
}

template <typename T>
T Fail(int error, T failure) {
    return Fail(ErrorOfNumber(error), failure);
}

// What a device path resolves to: a byte range of a source and the drive that holds it.
struct DeviceTarget {
    std::string source;
    std::int64_t base = 0;
    std::int64_t limit = kNoLimit;  // bytes readable from base; kNoLimit: to the source's end
    std::int32_t diskNumber = -1;
    std::int32_t partitionNumber = 0;
    std::optional<DeviceIdentity> identity;  // the device the letter was given to, when known
};

struct OpenDevice {
    SourceFile file;
    DeviceTarget target;
    std::int64_t position = 0;
};

// Handles are small numbers behind the HANDLE value; 0 and -1 are never handed out.
// A scan reads ahead on a thread of its own, so the table is guarded; an open device
// itself is used by one thread at a time, and a map keeps it in place while others come and go.
struct HandleTable {
    std::mutex guard;
    std::map<std::uintptr_t, OpenDevice> open;
    std::uintptr_t next = 1;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

OpenDevice* Lookup(HANDLE handle) {
    const std::lock_guard lock(Handles().guard);
    auto& devices = Handles().open;
    const auto found = devices.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == devices.end() ? nullptr : &found->second;
}

std::optional<DeviceTarget> VolumeTarget(std::string_view letter) {
    const std::optional<ArrangedVolume> volume = FindVolume(letter);
    // A range that starts before its source is an arrangement fault; such a letter cannot be opened.
    if (!volume || volume->offsetBytes < 0) return std::nullopt;
    return DeviceTarget{volume->source,          volume->offsetBytes,
                        volume->sizeBytes < 0 ? kNoLimit : volume->sizeBytes,
                        volume->diskNumber,      volume->partitionNumber,
                        volume->identity};
}

// Only the canonical decimal form names a drive, as in the paths the reader builds.
std::optional<DeviceTarget> DiskTarget(std::string_view digits) {
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size() || number < 0 ||
        std::to_string(number) != digits) {
        return std::nullopt;
    }
    const std::optional<ArrangedDisk> disk = FindDisk(number);
    if (!disk) return std::nullopt;
    return DeviceTarget{disk->source, 0, kNoLimit, disk->number, 0, std::nullopt};
}

std::optional<DeviceTarget> ResolveDevicePath(std::string_view path) {
    if (!path.starts_with(kDeviceNamespace)) return std::nullopt;
    const std::string_view name = path.substr(kDeviceNamespace.size());
    if (name.size() == 2 && name[1] == ':') return VolumeTarget(name.substr(0, 1));
    if (name.starts_with(kPhysicalDrive)) return DiskTarget(name.substr(kPhysicalDrive.size()));
    return std::nullopt;
}

// The one place a source's bytes are read; a failure here is an unreadable range.
std::int64_t ReadSourceAt(const OpenDevice& device, std::uint8_t* into, std::int64_t size, std::int64_t offset,
                          DeviceError& error) {
    int injected = 0;
    const std::int64_t readable = ReadableBeforeInjectedFault(device.target.source, offset, size, injected);
    if (readable < 0) {
        error = ErrorOfNumber(injected);
        return -1;
    }
    const std::int64_t got = device.file.ReadAt(into, readable, offset, error);
    if (got > 0) WaitForSimulatedDrive(device.target.source, got);
    return got;
}

// Bytes a read of want bytes at the device's position may deliver before the volume ends.
std::int64_t ReadableBytes(const OpenDevice& device, std::int64_t want) {
    const std::int64_t position = device.position;
    const std::int64_t beforeOverflow =
        std::numeric_limits<std::int64_t>::max() - device.target.base - position;
    if (beforeOverflow <= 0) return 0;
    const std::int64_t room =
        device.target.limit == kNoLimit ? beforeOverflow : device.target.limit - position;
    return std::clamp<std::int64_t>(room, 0, std::min(want, beforeOverflow));
}

// Reads into buffer until want bytes are in or the source ends; returns false with
// error set when the source fails, delivered then counting the bytes before the failure.
bool ReadFully(const OpenDevice& device, std::uint8_t* buffer, std::int64_t want, std::int64_t& delivered,
               DeviceError& error) {
    const std::int64_t start = device.target.base + device.position;
    while (delivered < want) {
        const std::int64_t got = ReadSourceAt(device, buffer + delivered, want - delivered, start + delivered, error);
        if (got < 0) return false;
        if (got == 0) break;
        delivered += got;
    }
    return true;
}

std::optional<ArrangedVolume> VolumeOfRoot(const char* rootPath) {
    if (rootPath == nullptr) return std::nullopt;
    const std::string_view root(rootPath);
    const bool hasColon = root.size() >= 2 && root[1] == ':';
    const bool rootOnly = root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/'));
    if (!hasColon || !rootOnly) return std::nullopt;
    return FindVolume(root.substr(0, 1));
}

// With a high half the two halves form one 64-bit position; without, the low half is signed.
std::int64_t RequestedPosition(LONG low, const LONG* high) {
    if (high == nullptr) return low;
    const std::uint64_t bits = (std::uint64_t{static_cast<DWORD>(*high)} << 32) | static_cast<DWORD>(low);
    return static_cast<std::int64_t>(bits);
}

void Store(ULONGLONG* out, ULONGLONG value) {
    if (out != nullptr) *out = value;
}

}  // namespace

ErrorCode CodeOfErrorNumber(int error) {
    switch (error) {
        case 0: return ERROR_SUCCESS;
        case ENOENT:
        case ENOTDIR: return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
#ifdef ENOMEDIUM
        case ENOMEDIUM: return ERROR_NOT_READY;
#endif
        case EIO: return ERROR_CRC;
        case ENODEV:
        case ENXIO: return ERROR_DEVICE_NOT_CONNECTED;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        default: return ERROR_GEN_FAILURE;
    }
}

HANDLE CreateFileA(const char* path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
    if (path == nullptr) return Fail(EINVAL, INVALID_HANDLE_VALUE);
    std::optional<DeviceTarget> target = ResolveDevicePath(path);
    if (!target) return Fail(ENOENT, INVALID_HANDLE_VALUE);
    // Read-only whatever access was asked: a recovery tool must never write to its source.
    DeviceError error;
    std::optional<SourceFile> file = SourceFile::Open(target->source, target->identity, error);
    if (!file) return Fail(std::move(error), INVALID_HANDLE_VALUE);
    HandleTable& handles = Handles();
    const std::lock_guard lock(handles.guard);
    const std::uintptr_t id = handles.next++;
    handles.open.emplace(id, OpenDevice{std::move(*file), std::move(*target), 0});
    return reinterpret_cast<HANDLE>(id);
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod) {
    OpenDevice* device = Lookup(file);
    if (device == nullptr || moveMethod != FILE_BEGIN) return INVALID_SET_FILE_POINTER;
    const std::int64_t target = RequestedPosition(distanceLow, distanceHigh);
    if (target < 0) return INVALID_SET_FILE_POINTER;
    device->position = target;
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(target >> 32);
    return static_cast<DWORD>(target & 0xFFFFFFFF);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
    if (read != nullptr) *read = 0;
    OpenDevice* device = Lookup(file);
    if (device == nullptr) return Fail(EBADF, 0);
    if (buffer == nullptr && toRead > 0) return Fail(EINVAL, 0);
    const std::int64_t want = ReadableBytes(*device, std::int64_t{toRead});
    std::int64_t delivered = 0;
    DeviceError error;
    const bool ok = ReadFully(*device, static_cast<std::uint8_t*>(buffer), want, delivered, error);
    device->position += delivered;
    if (read != nullptr) *read = static_cast<DWORD>(delivered);
    return ok ? 1 : Fail(std::move(error), 0);
}

BOOL CloseHandle(HANDLE file) {
    HandleTable& handles = Handles();
    const std::lock_guard lock(handles.guard);
    return handles.open.erase(reinterpret_cast<std::uintptr_t>(file)) == 1 ? 1 : Fail(EBADF, 0);
}

BOOL DeviceIoControl(HANDLE device, DWORD controlCode, void*, DWORD, void* outBuffer, DWORD outSize,
                     DWORD* bytesReturned, void*) {
    const OpenDevice* opened = Lookup(device);
    if (opened == nullptr) return Fail(EBADF, 0);
    if (controlCode != IOCTL_STORAGE_GET_DEVICE_NUMBER || outBuffer == nullptr ||
        outSize < sizeof(STORAGE_DEVICE_NUMBER)) {
        return Fail(EINVAL, 0);
    }
    auto* record = static_cast<STORAGE_DEVICE_NUMBER*>(outBuffer);
    record->DeviceType = kFileDeviceDisk;
    record->DeviceNumber = static_cast<DWORD>(opened->target.diskNumber);
    record->PartitionNumber = static_cast<DWORD>(opened->target.partitionNumber);
    if (bytesReturned != nullptr) *bytesReturned = sizeof(STORAGE_DEVICE_NUMBER);
    return 1;
}

BOOL GetDiskFreeSpaceExA(const char* rootPath, ULONGLONG* freeBytesAvailable, ULONGLONG* totalBytes,
                         ULONGLONG* totalFreeBytes) {
    const std::optional<ArrangedVolume> volume = VolumeOfRoot(rootPath);
    if (!volume) return Fail(ENOENT, 0);
    const std::optional<SpaceCounters> space = volume->sizeQueryFails ? std::nullopt : VolumeSpace(*volume);
    if (!space) return Fail(ENODEV, 0);
    Store(freeBytesAvailable, space->available);
    Store(totalBytes, space->total);
    Store(totalFreeBytes, space->free);
    return 1;
}

DWORD GetLastError() { return tLastError.code; }

std::string LastErrorText() { return tLastError.text; }

}  // namespace velkor::win32
