#include <windows.h>
#include <winioctl.h>

#include <string_view>

#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::uint64_t Joined(DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; }

}  // namespace

UniqueHandle OpenForReading(const std::string& path, DWORD access) {
    // Sharing both ways: the drive stays usable by the system while Velkor reads it.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Device paths ("\\.\X:", "\\.\PhysicalDriveN") are plain ASCII; an image's name may be anything.
    if (IsAscii(path)) {
        return UniqueHandle(
            ::CreateFileA(path.c_str(), access, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return UniqueHandle(
        ::CreateFileW(Widen(path).c_str(), access, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsDevicePath(const std::string& path) { return path.rfind(kDeviceNamespace, 0) == 0; }

std::optional<DeviceIdentity> IdentityOfHandle(HANDLE handle, const std::string& path) {
    if (!IsDevicePath(path)) {
        // Wine answers the storage query for a file too, so a file is never asked it.
        BY_HANDLE_FILE_INFORMATION file{};
        if (!::GetFileInformationByHandle(handle, &file)) return std::nullopt;
        return DeviceIdentity{file.dwVolumeSerialNumber, Joined(file.nFileIndexHigh, file.nFileIndexLow),
                              Joined(file.ftCreationTime.dwHighDateTime, file.ftCreationTime.dwLowDateTime)};
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                           nullptr)) {
        return std::nullopt;
    }
    // A medium swapped in the same reader keeps the storage number; its file system's serial tells them apart.
    DWORD serial = 0;
    ::GetVolumeInformationByHandleW(handle, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    return DeviceIdentity{Joined(number.DeviceType, number.DeviceNumber), std::uint64_t{number.PartitionNumber} + 1,
                          serial};
}

}  // namespace velkor
