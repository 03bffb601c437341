#include "device/scan_state.h"

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

void HoldCandidate(ScanState& state, ByteView bytes) {
    const bool inStore = !state.CandidateStore.empty() && bytes.data() >= state.CandidateStore.data() &&
                         bytes.data() + bytes.size() <= state.CandidateStore.data() + state.CandidateStore.size();
    if (inStore) {
        state.CandidateBytes = bytes;
        return;
    }
    state.CandidateStore.assign(bytes.begin(), bytes.end());
    state.CandidateBytes = state.CandidateStore;
}

void ReleaseScanState() { TheScanState() = ScanState{}; }

}  // namespace velkor
