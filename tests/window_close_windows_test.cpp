// The real Win32 window, opened the way the library opens it, closed by a real WM_CLOSE at one
// moment of a person's use: inside the scan's loop, the completion box's, the folder chooser's
// and the save's. Each moment is tried several times, since a close that frees the window under
// a running loop does not crash every time.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "carving/scan_engine.h"
#include "device/scan_state.h"
#include "host/thread_dialogs_win32.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/windows_text.h"
#include "shell/main_window.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using host::FormButton;
using host::IsFolderChooser;
using host::ThreadDialogs;

class CloseAtAnyMoment : public ::testing::Test {
protected:
    static constexpr int kRuns = 3;
    static constexpr std::int64_t kSectors = 3 * 100000;

    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override {
        const std::string image = media_.File("card.img");
        testing::SizeFile(image, kSectors * 512);
        // Pictures in the first and the last chunk, so a scan closed at its first picture
        // still has most of the card ahead of it.
        for (const std::int64_t sector : {100, 600, 2 * 100000 + 100}) {
            testing::PlaceBytes(image, sector * 512, testing::PadJpegTo(testing::MakeJpeg(80, 60, {.seed = 7}), 10 * 512));
        }
        testing::UseImageAsDriveC(image, kSectors);
    }
    void TearDown() override { UseDiscoveredDriveTable(); }

    // Opens the window and lets step drive it every two milliseconds (from a thread timer,
    // which runs inside every loop of the thread) until the window has closed.
    void Run(const std::function<void(HWND form)>& step) {
        current_ = &step;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 2, &Tick);
        OpenMainWindow();
        ::KillTimer(nullptr, timer);
        current_ = nullptr;
        EXPECT_EQ(TheMainWindow(), nullptr) << "the window is gone once it has returned";
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND form = host::ThreadMainForm();
        if (form != nullptr && current_ != nullptr) (*current_)(form);
    }

    static void Click(HWND form, int which) { ::PostMessageW(FormButton(form, which), BM_CLICK, 0, 0); }
    static void Close(HWND form) { ::PostMessageW(form, WM_CLOSE, 0, 0); }
    static bool ScanRunning(HWND form) {
        wchar_t caption[32] = {};
        ::GetWindowTextW(FormButton(form, 0), caption, 32);
        return Narrow(caption) == StopCaption().Utf8();
    }
    // The open message box, answered with OK; true when there was one. Its text joins shown.
    static bool AnsweredBox(std::string* shown = nullptr) {
        for (HWND dialog : ThreadDialogs()) {
            if (IsFolderChooser(dialog)) continue;
            if (shown != nullptr) *shown += host::BoxText(dialog);
            host::PressOk(dialog);
            return true;
        }
        return false;
    }
    static HWND OpenChooser() {
        for (HWND dialog : ThreadDialogs()) {
            if (IsFolderChooser(dialog)) return dialog;
        }
        return nullptr;
    }
    // The scan must have been stopped by the close, not have run to the card's end.
    static void ExpectStoppedByTheClose() {
        EXPECT_GT(TheScanState().ScanPosition, TheScanState().DeviceSectors + 100000) << "the close stopped the scan";
    }

    static const std::function<void(HWND)>* current_;
    testing::ScratchProgramDirectory programDir_;
    testing::ScratchDir media_;
};

const std::function<void(HWND)>* CloseAtAnyMoment::current_ = nullptr;

TEST_F(CloseAtAnyMoment, RightAfterScanIsClicked) {
    for (int run = 0; run < kRuns; ++run) {
        bool clicked = false;
        Run([&](HWND form) {
            if (std::exchange(clicked, true)) return;
            // Both queued: the close arrives inside the scan's first round of events.
            Click(form, 0);
            Close(form);
        });
        ExpectStoppedByTheClose();
    }
}

TEST_F(CloseAtAnyMoment, WhileTheCompletionMessageIsShown) {
    for (int run = 0; run < kRuns; ++run) {
        bool clicked = false;
        Run([&](HWND form) {
            if (!std::exchange(clicked, true)) return Click(form, 0);
            for (HWND dialog : ThreadDialogs()) {
                if (!IsFolderChooser(dialog)) return Close(form);
            }
        });
    }
}

TEST_F(CloseAtAnyMoment, WhileTheFolderChooserIsOpen) {
    for (int run = 0; run < kRuns; ++run) {
        int next = 0;
        Run([&](HWND form) {
            if (AnsweredBox()) return;
            if (OpenChooser() != nullptr) return Close(form);
            if (next > 1 || ScanRunning(form)) return;
            Click(form, next++);
        });
    }
}

TEST_F(CloseAtAnyMoment, DuringASave) {
    testing::ScratchDir out;
    const std::wstring folder = Widen(NativePath(out.Path()));
    host::ReadyToChoose(folder);
    for (int run = 0; run < kRuns; ++run) {
        int next = 0;
        bool chosen = false;
        std::string shownAfterChoice;
        Run([&](HWND form) {
            if (AnsweredBox(chosen ? &shownAfterChoice : nullptr)) return;
            if (HWND chooser = OpenChooser()) {
                if (!host::SelectFolder(chooser, folder)) return;
                host::PressOk(chooser);
                // Queued behind the choice: the close arrives inside the save's first round of events.
                Close(form);
                chosen = true;
                return;
            }
            if (next > 1 || ScanRunning(form)) return;
            Click(form, next++);
        });
        EXPECT_TRUE(chosen);
        EXPECT_EQ(shownAfterChoice.find("保存完成"), std::string::npos) << "the close came after the save: " << shownAfterChoice;
        for (const std::string& name : testing::NamesIn(out.Path())) {
            EXPECT_EQ(name.find(".part-"), std::string::npos) << "a closed save leaves no temporary: " << name;
        }
    }
}

}  // namespace
}  // namespace velkor
