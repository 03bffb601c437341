#include "carving/scan_state.h"
#include "device/partition_locator.h"
#include "device/raw_reader.h"
#include "platform/window_runtime.h"

namespace velkor {

void SelectDrive(const DriveBox& driveBox) { SelectDriveLetter(driveBox.SelectedLetter()); }

void SelectDriveLetter(const std::string& letter) {
    ScanState& state = TheScanState();
    state.SelectedDrive = letter;
    const std::int64_t totalBytes = GetVolumeTotalBytes(letter);
    state.DeviceSectors =
        static_cast<std::int64_t>(static_cast<double>(totalBytes) / static_cast<double>(kSectorSize));
    // A volume without a size of its own (unmounted, RAW) is measured by its partition table entry.
    if (state.DeviceSectors == 0) state.DeviceSectors = LocatePartitionSectors(letter);
    state.ScanPosition = 0;
}

}  // namespace velkor
