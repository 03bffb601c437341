#include "tests/support/box_answerer.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>

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
        if (!host::SelectFolder(chooser, folder)) {
            SayWhenStuck(chooser);
            return;
        }
        host::PressOk(chooser);
        ++foldersOffered;
    }
    // A chooser that keeps refusing the folder hangs its case; saying so once tells the case's log
    // which folder it was asked for, beside what the hang watch shows of its tree.
    void SayWhenStuck(HWND chooser) {
        const auto now = std::chrono::steady_clock::now();
        if (chooser != refusing) {
            refusing = chooser;
            refusingSince = now;
            saidStuck = false;
        }
        if (saidStuck || now - refusingSince < std::chrono::seconds(5)) return;
        saidStuck = true;
        std::fprintf(stderr, "the folder chooser has not selected %s in 5 s of asking\n", Narrow(folder).c_str());
    }
    static Backend* current;
    HWND refusing = nullptr;
    std::chrono::steady_clock::time_point refusingSince;
    bool saidStuck = false;
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

void BoxAnswerer::ChooseFolder(const std::string& folder) {
    backend_->folder = Widen(NativePath(folder));
    if (!folder.empty()) host::ReadyToChoose(backend_->folder);
}

int BoxAnswerer::FoldersOffered() const { return backend_->foldersOffered; }

}  // namespace velkor::testing
