#pragma once
// The windows and dialogs this thread has open, read and answered from outside the window's
// own code, the way a user would: for the Windows end-to-end driver and the Windows suites.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkor::host {

// The class a window was made with.
std::wstring ClassOf(HWND window);

// The text of a tree item; none when the tree's thread did not answer within two seconds, so that
// a thread other than the tree's can ask a tree whose thread may no longer handle messages.
std::optional<std::wstring> TreeItemText(HWND tree, HTREEITEM item);

// The visible top-level windows of this thread whose class is windowClass.
std::vector<HWND> ThreadWindows(const wchar_t* windowClass);

// The first descendant of window of class windowClass; nullptr when there is none.
HWND Descendant(HWND window, const wchar_t* windowClass);

// The open message boxes and folder choosers of this thread (both are of the system's dialog class).
std::vector<HWND> ThreadDialogs();

// Whether an open dialog is the folder chooser (the one holding a folder tree), not a message box.
bool IsFolderChooser(HWND dialog);

// The tool's main window on this thread; nullptr while none is open.
HWND ThreadMainForm();

// The form's push buttons in the order the window made them: 0 is Scan, 1 is Save.
HWND FormButton(HWND form, int which);

// A message box's text, as UTF-8.
std::string BoxText(HWND box);

// A message box's title, as UTF-8.
std::string BoxTitle(HWND box);

// Whether a message box shows the information icon (IDI_INFORMATION): a completion; any other
// icon tells that something went wrong.
bool ShowsInformation(HWND box);

// Presses a dialog's OK (the only button of a message box with MB_OK).
void PressOk(HWND dialog);

// Asks the folder chooser to select folder; true once its tree shows that folder selected, when
// OK may be pressed. A chooser still filling its tree ignores the request: ask again later. One
// whose tree read a folder on the path before that folder last changed never finds it: Wine's
// compares each folder's times, last write and last access, with what its tree read of it.
bool SelectFolder(HWND chooser, const std::wstring& folder);

// Sets folder's last-access time to secondsFromNow from now (before it, when negative); false when
// the folder could not be opened or its time set.
bool SetLastAccess(const std::wstring& folder, std::int64_t secondsFromNow);

// Readies folder to be chosen before a chooser opens: a chooser's tree reads each folder it lists,
// and the first read of a folder since it changed moves its last-access time, so that a chooser
// whose tree listed the folder before reading it could no longer find it. The access time is set
// an hour ahead, past any change made meanwhile, where reading a folder leaves it as it is.
void ReadyToChoose(const std::wstring& folder);

}  // namespace velkor::host
