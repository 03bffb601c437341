// The folder chooser answered the way the Windows suites and velkor-autoscan answer it: a folder
// readied beforehand is selected and returned even when the chooser's own reading of the folder
// would move its last-access time, which once left suites waiting on a chooser for ever.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "host/thread_dialogs_win32.h"
#include "platform/files.h"
#include "platform/windows_text.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

// A folder last read two days ago: the next read of it moves its access time, on a system that
// keeps access times at all.
void MakeUnreadForDays(const std::wstring& folder) { ASSERT_TRUE(host::SetLastAccess(folder, -2 * 24 * 60 * 60)); }

ULONGLONG LastAccess(const std::wstring& folder) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(::GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data));
    return Ticks(data.ftLastAccessTime);
}

// Answers the one chooser open on this thread with folder, or cancels it after ten seconds.
struct Answer {
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        for (HWND dialog : host::ThreadDialogs()) {
            if (!host::IsFolderChooser(dialog)) continue;
            if (host::SelectFolder(dialog, current->folder)) {
                host::PressOk(dialog);
            } else if (std::chrono::steady_clock::now() > current->giveUpAt) {
                ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        }
    }
    static Answer* current;
    std::wstring folder;
    std::chrono::steady_clock::time_point giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(10);
};

Answer* Answer::current = nullptr;

// What a chooser opened here on a folder beside the one wanted, as the window opens it on the
// folder last saved into, returned when answered with folder; empty when it was cancelled.
std::wstring ChooseInAChooser(const std::wstring& folder, const std::wstring& openedOn) {
    Answer answer{folder};
    Answer::current = &answer;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 5, &Answer::Tick);
    BROWSEINFOW browse{};
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = [](HWND dialog, UINT message, LPARAM, LPARAM data) -> int {
        if (message == BFFM_INITIALIZED) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
        return 0;
    };
    browse.lParam = reinterpret_cast<LPARAM>(openedOn.c_str());
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
    ::KillTimer(nullptr, timer);
    Answer::current = nullptr;
    if (chosen == nullptr) return {};
    wchar_t path[MAX_PATH] = {};
    ::SHGetPathFromIDListW(chosen, path);
    ::CoTaskMemFree(chosen);
    return path;
}

// Opening on the folder beside it, the chooser's tree lists the wanted folder and then reads it.
TEST(ReadyToChoose, AFolderWhoseNextReadWouldMoveItsAccessTimeIsStillChosenAndReadingLeavesItAlone) {
    testing::ScratchDir last;
    testing::ScratchDir made;
    const std::wstring folder = Widen(NativePath(made.Path()));
    const std::wstring besideIt = Widen(NativePath(last.Path()));
    MakeUnreadForDays(folder);
    host::ReadyToChoose(folder);
    const ULONGLONG readied = LastAccess(folder);
    EXPECT_GT(readied, Now()) << "the access time is ahead of now, where a read leaves it alone";

    EXPECT_EQ(ChooseInAChooser(folder, besideIt), folder);
    EXPECT_EQ(LastAccess(folder), readied) << "the chooser's reading moved the access time";

    // A photo saved into it meanwhile changes it; its next reading still leaves the access time.
    const std::uint8_t start[] = {0xFF, 0xD8};
    testing::PlaceBytes(made.File("10000000.jpg"), 0, start);
    EXPECT_EQ(ChooseInAChooser(folder, besideIt), folder);
    EXPECT_EQ(LastAccess(folder), readied);
}

}  // namespace
}  // namespace velkor
