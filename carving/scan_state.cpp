#include "carving/scan_state.h"

#include <cstddef>
#include <new>

namespace velkor {

ScanState& TheScanState() {
    // Never destroyed by the runtime: the library's release step frees its
    // contents at unload, which runs after static destructors. It is built in the
    // library's own storage, so a host that unloads the library loses nothing to it.
    alignas(ScanState) static std::byte storage[sizeof(ScanState)];
    static ScanState* const state = new (storage) ScanState;
    return *state;
}

void ReleaseScanState() { TheScanState() = ScanState{}; }

}  // namespace velkor
