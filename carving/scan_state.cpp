#include "carving/scan_state.h"

namespace velkor {

ScanState& TheScanState() {
    static ScanState state;
    return state;
}

void ReleaseScanState() { TheScanState() = ScanState{}; }

}  // namespace velkor
