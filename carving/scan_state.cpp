#include "carving/scan_state.h"

namespace velkor {

ScanState& TheScanState() {
    // Never destroyed by the runtime: the library's release step frees its
    // contents at unload, which runs after static destructors.
    static auto* state = new ScanState;
    return *state;
}

void ReleaseScanState() { TheScanState() = ScanState{}; }

}  // namespace velkor
