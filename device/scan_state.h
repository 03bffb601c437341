#pragma once
// The scan state: module-level values shared by drive selection, the scan, the
// preview, the progress display, the probes and saving.
#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/drive_table.h"

namespace velkor {

struct ScanState {
    std::string SelectedDrive;           // drive letter alone, without colon
    std::int64_t DeviceSectors = 0;      // size of the selected drive in 512-byte sectors
    std::int64_t ScanPosition = 0;       // first sector of the chunk being scanned
    ByteView CurrentChunk;               // the chunk being scanned (in the scan's read-ahead memory)
    std::int32_t SectorsPerChunk = 0;    // sector slots examined per chunk
    // The last candidate examined: a view of the scan's chunk memory while it is there,
    // of CandidateStore once that memory is reused or the scan has ended.
    ByteView CandidateBytes;
    ByteSet CandidateStore;
    std::int64_t CandidateSectors = 0;   // its length in sectors
    std::int32_t NameCounter = 0;        // number of the next accepted picture
    std::optional<VolumeInfo> SelectedVolume;  // the selected drive as it was listed when chosen
    std::string ScannedDrive;                  // the drive the listed results were found on
    std::optional<DeviceIdentity> ScannedIdentity;  // and the device it was then
};

// Makes CandidateBytes bytes of its own, copied into CandidateStore unless they lie there already.
void HoldCandidate(ScanState& state, ByteView bytes);

// Returns the one scan state of the library.
ScanState& TheScanState();

// Frees the texts and byte sets of the scan state (the library's release step).
void ReleaseScanState();

}  // namespace velkor
