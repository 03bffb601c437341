// The library's four entry points. Everything else stays hidden from the host.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "carving/candidate_validation.h"
#include "carving/dimension_probe.h"
#include "device/scan_state.h"
#include "platform/library_exports.h"
#include "platform/window_runtime.h"
#include "shell/main_window.h"


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
    // Goes with the library when it is unloaded.
    static MeasuringControl own;
    return own;
}

// The release step runs when the library is unloaded, and only once it was bound.
__attribute__((destructor)) void ReleaseOnUnload() {
    if (gBound) ReleaseScanState();
}

}  // namespace
}  // namespace velkor

// With their names in GBK, byte for byte, for Windows's export table.
VELKOR_EXPORT void winhex();
VELKOR_EXPORT std::int32_t 取jpg图片高度() VELKOR_EXPORT_NAME("\xc8\xa1jpg\xcd\xbc\xc6\xac\xb8\xdf\xb6\xc8");
VELKOR_EXPORT std::int32_t 取jpg图片宽度() VELKOR_EXPORT_NAME("\xc8\xa1jpg\xcd\xbc\xc6\xac\xbf\xed\xb6\xc8");
VELKOR_EXPORT void 线程1() VELKOR_EXPORT_NAME("\xcf\xdf\xb3\xcc" "1");

void winhex() {
    velkor::BindOnFirstUse();
    velkor::OpenMainWindow();
}

std::int32_t 取jpg图片高度() {
    velkor::BindOnFirstUse();
    return velkor::ProbeImageSize(velkor::TheScanState().CandidateBytes).height;
}

std::int32_t 取jpg图片宽度() {
    velkor::BindOnFirstUse();
    return velkor::ProbeImageSize(velkor::TheScanState().CandidateBytes).width;
}

void 线程1() {
    velkor::BindOnFirstUse();
    velkor::MeasureCandidateInProcess(velkor::TheScanState(), velkor::MeasuringControlForEntry());
}
