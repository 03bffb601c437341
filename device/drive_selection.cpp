#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "platform/window_runtime.h"

namespace velkor {

void SelectDrive(const DriveBox& driveBox) { SelectDriveLetter(driveBox.SelectedLetter()); }

void SelectDriveLetter(const std::string& letter) {
    ScanState& state = TheScanState();
    state.SelectedDrive = letter;
    state.SelectedVolume = CurrentVolume(letter);
    const std::int64_t totalBytes = GetVolumeTotalBytes(letter);
    state.DeviceSectors =
        static_cast<std::int64_t>(static_cast<double>(totalBytes) / static_cast<double>(kSectorSize));
    // A volume without a size of its own (unmounted, RAW) is measured by its partition
    // table entry. One that told its size, even one below a sector, is not: the first
    // bytes of a tiny image are no partition table.
    if (totalBytes == 0) state.DeviceSectors = LocatePartitionSectors(letter);
    state.ScanPosition = 0;
}

}  // namespace velkor
