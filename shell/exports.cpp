// The library's four entry points. Everything else stays hidden from the host.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "carving/candidate_validation.h"
#include "carving/dimension_probe.h"
#include "device/scan_state.h"
#include "platform/window_runtime.h"
#include "shell/main_window.h"

#define VELKOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace velkor {
namespace {

constexpr char kBindingFailure[] =
    "The runtime library is missing or invalid, or this edition of it does not support DLLs!";

bool gBound = false;

// Binds the window runtime on the first call of any entry; a failure ends the process.
void BindOnFirstUse() {
    if (gBound) return;
    if (!BindWindowRuntime()) {
        std::fprintf(stderr, "Error: %s\n", kBindingFailure);
        std::fflush(stderr);
        std::exit(-1);
    }
    gBound = true;
}

// The measuring control of the open window, or one of the library's own when no window is open.
MeasuringControl& MeasuringControlForEntry() {
    if (MainWindow* window = TheMainWindow()) return window->MeasuringControlOf();
    static auto* own = new MeasuringControl;
    return *own;
}

// The release step runs when the library is unloaded, and only once it was bound.
__attribute__((destructor)) void ReleaseOnUnload() {
    if (gBound) ReleaseScanState();
}

}  // namespace
}  // namespace velkor

VELKOR_EXPORT void winhex() {
    velkor::BindOnFirstUse();
    velkor::OpenMainWindow();
}

VELKOR_EXPORT std::int32_t 取jpg图片高度() {
    velkor::BindOnFirstUse();
    return velkor::ProbeImageSize(velkor::TheScanState().CandidateBytes).height;
}

VELKOR_EXPORT std::int32_t 取jpg图片宽度() {
    velkor::BindOnFirstUse();
    return velkor::ProbeImageSize(velkor::TheScanState().CandidateBytes).width;
}

VELKOR_EXPORT void 线程1() {
    velkor::BindOnFirstUse();
    velkor::MeasureCandidateInProcess(velkor::TheScanState(), velkor::MeasuringControlForEntry());
}
