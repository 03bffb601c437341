#include <windows.h>
#include <winioctl.h>

#include <optional>
#include <string>

#include "platform/drive_table.h"
#include "platform/save_target.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

// The disk behind a volume path ("\\.\X:"): its type and number; nullopt when the system
// does not say (a network share, a volume without a disk).
std::optional<std::pair<DWORD, DWORD>> DiskOf(const std::string& volumePath) {
    const UniqueHandle volume = OpenForReading(volumePath, 0);
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!volume || !::DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                      sizeof number, &returned, nullptr)) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<DWORD>(number.DeviceType), number.DeviceNumber);
}

// "\\.\X:" for the volume a directory lies on; empty when it has no letter.
std::string VolumePathOf(const std::string& directory) {
    wchar_t root[MAX_PATH] = {};
    if (!::GetVolumePathNameW(Widen(directory).c_str(), root, MAX_PATH)) return {};
    const std::string letter = Narrow(root);
    if (letter.size() < 2 || letter[1] != ':') return {};
    return std::string(kDeviceNamespace) + letter.substr(0, 2);
}

}  // namespace

// A disk image's own bytes are never written by saving beside it; a drive is written to
// by any save onto one of its volumes.
bool DirectoryLiesOnDrive(const std::string& directory, const std::string& letter) {
    const std::optional<ArrangedVolume> volume = FindVolume(letter);
    if (!volume || !IsDevicePath(volume->source)) return false;
    const std::optional<std::pair<DWORD, DWORD>> source = DiskOf(volume->source);
    const std::string target = VolumePathOf(directory);
    return source && !target.empty() && DiskOf(target) == source;
}

}  // namespace velkor
