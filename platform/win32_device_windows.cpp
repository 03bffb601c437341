#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/device_source.h"
#include "platform/drive_table_system.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor::win32 {
namespace {

// One ReadFile moves at most this much; the reader's chunks are far smaller.
constexpr std::int64_t kLargestRead = std::int64_t{1} << 30;

DeviceError LastSystemError() {
    const DWORD code = ::GetLastError();
    return {code, SystemErrorText(code)};
}

HANDLE AsHandle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// "\\.\X:" names a volume; its file system's root is "X:\".
std::string RootOfVolumeSource(const std::string& source) {
    const std::string prefix = kDeviceNamespace;
    if (source.size() != prefix.size() + 2 || !IsDevicePath(source)) return {};
    return source.substr(prefix.size()) + "\\";
}

}  // namespace

DeviceError ErrorOfNumber(int error) {
    const ErrorCode code = CodeOfErrorNumber(error);
    return {code, SystemErrorText(code)};
}

std::optional<SourceFile> SourceFile::Open(const std::string& source, const std::optional<DeviceIdentity>& identity,
                                           DeviceError& error) {
    UniqueHandle handle = OpenForReading(source);
    if (!handle) {
        error = LastSystemError();
        return std::nullopt;
    }
    // Another device found under the listed name is not the drive the user chose.
    if (identity && IdentityOfHandle(handle.get(), source) != identity) {
        error = ErrorOfNumber(ENODEV);
        return std::nullopt;
    }
    return SourceFile(reinterpret_cast<std::intptr_t>(handle.release()));
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : native_(std::exchange(other.native_, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE))) {}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        UniqueHandle closing(AsHandle(native_));
        native_ = std::exchange(other.native_, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE));
    }
    return *this;
}

SourceFile::~SourceFile() { UniqueHandle closing(AsHandle(native_)); }

std::int64_t SourceFile::ReadAt(std::uint8_t* into, std::int64_t size, std::int64_t offset, DeviceError& error) const {
    // The offset travels with the call, so reads on other threads cannot move it.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min(size, kLargestRead));
    if (::ReadFile(AsHandle(native_), into, wanted, &got, &at)) return got;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    error = LastSystemError();
    return -1;
}

std::optional<SpaceCounters> VolumeSpace(const ArrangedVolume& volume) {
    if (IsImageFile(volume.source)) {
        return SpaceCounters{0, static_cast<ByteCount>(VolumeExtentBytes(volume)), 0};
    }
    const std::string root = RootOfVolumeSource(volume.source);
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    if (root.empty() || !::GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) return std::nullopt;
    return SpaceCounters{available.QuadPart, total.QuadPart, free.QuadPart};
}

}  // namespace velkor::win32
