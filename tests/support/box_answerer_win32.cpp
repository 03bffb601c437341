#include "tests/support/box_answerer.h"

#include <windows.h>

#include "host/thread_dialogs_win32.h"

namespace velkor::testing {

// A thread timer: Windows runs it inside every loop of the thread, a message box's own included.
struct BoxAnswerer::Backend {
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        for (HWND box : host::ThreadDialogs()) {
            current->boxes.push_back({host::BoxText(box), host::ShowsInformation(box)});
            host::PressOk(box);
        }
    }
    static Backend* current;
    UINT_PTR timer = 0;
    std::vector<AnsweredBox> boxes;
};

BoxAnswerer::Backend* BoxAnswerer::Backend::current = nullptr;

BoxAnswerer::BoxAnswerer() : backend_(std::make_unique<Backend>()) {
    Backend::current = backend_.get();
    backend_->timer = ::SetTimer(nullptr, 0, 5, &Backend::Tick);
}

BoxAnswerer::~BoxAnswerer() {
    ::KillTimer(nullptr, backend_->timer);
    Backend::current = nullptr;
}

std::vector<AnsweredBox> BoxAnswerer::Boxes() const { return backend_->boxes; }

}  // namespace velkor::testing
