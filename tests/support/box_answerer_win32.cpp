#include "tests/support/box_answerer.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "host/thread_dialogs_win32.h"
#include "platform/files.h"
#include "platform/windows_text.h"

namespace velkor::testing {

// A thread timer: Windows runs it inside every loop of the thread, a message box's own included.
struct BoxAnswerer::Backend {
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        for (HWND dialog : host::ThreadDialogs()) {
            if (host::IsFolderChooser(dialog)) {
                current->AnswerChooser(dialog);
            } else {
                current->boxes.push_back({host::BoxTitle(dialog), host::BoxText(dialog), host::ShowsInformation(dialog),
                                           std::chrono::steady_clock::now()});
                host::PressOk(dialog);
            }
        }
    }
    void AnswerChooser(HWND chooser) {
        if (folder.empty()) {
            ::PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
            ++foldersOffered;
            return;
        }
        if (!host::SelectFolder(chooser, folder)) return;
        host::PressOk(chooser);
        ++foldersOffered;
    }
    static Backend* current;
    UINT_PTR timer = 0;
    std::vector<AnsweredBox> boxes;
    std::wstring folder;
    int foldersOffered = 0;
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

void BoxAnswerer::Forget() { backend_->boxes.clear(); }

void BoxAnswerer::ChooseFolder(const std::string& folder) { backend_->folder = Widen(NativePath(folder)); }

int BoxAnswerer::FoldersOffered() const { return backend_->foldersOffered; }

}  // namespace velkor::testing
