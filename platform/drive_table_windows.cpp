#include <windows.h>
#include <winioctl.h>

#include <set>

#include "platform/drive_table_system.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

std::string VolumeSource(char letter) { return std::string(kDeviceNamespace) + letter + ":"; }

std::string DiskSource(DWORD number) { return std::string(kDeviceNamespace) + "PhysicalDrive" + std::to_string(number); }

// Only drives that may hold a camera card or a disk; not network, optical or RAM drives.
bool MayHoldPhotos(UINT driveType) { return driveType == DRIVE_REMOVABLE || driveType == DRIVE_FIXED; }

std::optional<STORAGE_DEVICE_NUMBER> StorageNumberOf(const std::string& source) {
    const UniqueHandle device = OpenForReading(source, 0);
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!device || !::DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                      sizeof number, &returned, nullptr)) {
        return std::nullopt;
    }
    return number;
}

std::int64_t DeviceLength(const std::string& source) {
    const UniqueHandle device = OpenForReading(source);
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (!device || !::DeviceIoControl(device.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                                      &returned, nullptr)) {
        return -1;
    }
    return length.Length.QuadPart;
}

std::int64_t FileLength(const std::string& source) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(source).c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<std::int64_t>(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
}

}  // namespace

std::optional<DeviceIdentity> IdentityOfSource(const std::string& source) {
    const UniqueHandle handle = OpenForReading(source, 0);
    if (!handle) return std::nullopt;
    return IdentityOfHandle(handle.get(), source);
}

// The volumes keep the letters Windows gave them; each disk they lie on is listed
// once under its own number, and the images follow as further disks.
DriveTable DiscoverSystemDrives(const std::vector<std::string>& images) {
    DriveTable table;
    std::set<std::int32_t> disks;
    const DWORD present = ::GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if ((present & (DWORD{1} << (letter - 'A'))) == 0) continue;
        const std::string root = std::string(1, letter) + ":\\";
        if (!MayHoldPhotos(::GetDriveTypeA(root.c_str()))) continue;
        ArrangedVolume volume{.letter = std::string(1, letter), .source = VolumeSource(letter), .systemLetter = true};
        if (const std::optional<STORAGE_DEVICE_NUMBER> number = StorageNumberOf(volume.source)) {
            volume.diskNumber = static_cast<std::int32_t>(number->DeviceNumber);
            volume.partitionNumber = static_cast<std::int32_t>(number->PartitionNumber);
            if (disks.insert(volume.diskNumber).second) {
                table.disks.push_back({volume.diskNumber, DiskSource(number->DeviceNumber)});
            }
        }
        table.volumes.push_back(std::move(volume));
    }
    std::int32_t next = disks.empty() ? 0 : *disks.rbegin() + 1;
    for (const std::string& image : images) {
        if (!IsImageFile(image)) continue;
        table.disks.push_back({next, image});
        table.volumes.push_back({.letter = {}, .source = image, .diskNumber = next});
        ++next;
    }
    return table;
}

bool IsImageFile(const std::string& source) {
    if (IsDevicePath(source)) return false;
    const DWORD attributes = ::GetFileAttributesW(Widen(source).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::int64_t SourceSizeBytes(const std::string& source) {
    return IsDevicePath(source) ? DeviceLength(source) : FileLength(source);
}

}  // namespace velkor
