#include "host/thread_dialogs_win32.h"

#include <commctrl.h>
#include <shlobj.h>

#include <filesystem>

#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor::host {
namespace {

// The message box's text control.
constexpr int kMessageTextId = 0xFFFF;

// The icon a message box shows: that of its static control that holds an icon.
HICON IconOf(HWND box) {
    HICON icon = nullptr;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            if (ClassOf(child) != WC_STATICW || (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
            *reinterpret_cast<HICON*>(data) = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&icon));
    return icon;
}

}  // namespace

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::optional<std::wstring> TreeItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW asked{};
    asked.mask = TVIF_TEXT;
    asked.hItem = item;
    asked.pszText = text;
    asked.cchTextMax = MAX_PATH;
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&asked), SMTO_NORMAL, 2000, &answer) == 0) {
        return std::nullopt;
    }
    return std::wstring(text);
}

std::vector<HWND> ThreadWindows(const wchar_t* windowClass) {
    struct Search {
        const wchar_t* windowClass;
        std::vector<HWND> found;
    } search{windowClass, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            if (::IsWindowVisible(window) && ClassOf(window) == wanted.windowClass) wanted.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Descendant(HWND window, const wchar_t* windowClass) {
    struct Search {
        const wchar_t* windowClass;
        HWND found;
    } search{windowClass, nullptr};
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            if (ClassOf(child) != wanted.windowClass) return TRUE;
            wanted.found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> ThreadDialogs() { return ThreadWindows(L"#32770"); }

bool IsFolderChooser(HWND dialog) { return Descendant(dialog, WC_TREEVIEWW) != nullptr; }

HWND ThreadMainForm() {
    const std::vector<HWND> forms = ThreadWindows(L"VelkorMainForm");
    return forms.empty() ? nullptr : forms.front();
}

HWND FormButton(HWND form, int which) {
    HWND button = nullptr;
    for (int i = 0; i <= which; ++i) button = ::FindWindowExW(form, button, WC_BUTTONW, nullptr);
    return button;
}

std::string BoxText(HWND box) {
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(box, kMessageTextId, text, 4096);
    return Narrow(text);
}

std::string BoxTitle(HWND box) {
    wchar_t title[512] = {};
    ::GetWindowTextW(box, title, 512);
    return Narrow(title);
}

bool ShowsInformation(HWND box) { return IconOf(box) == ::LoadIconW(nullptr, MAKEINTRESOURCEW(32516)); }

void PressOk(HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDOK, 0); }

bool SelectFolder(HWND chooser, const std::wstring& folder) {
    ::SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    HWND tree = Descendant(chooser, WC_TREEVIEWW);
    const auto selected = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (selected == nullptr) return false;
    std::filesystem::path wanted(folder);
    if (!wanted.has_filename()) wanted = wanted.parent_path();
    return TreeItemText(tree, selected) == wanted.filename().wstring();
}

bool SetLastAccess(const std::wstring& folder, std::int64_t secondsFromNow) {
    const UniqueHandle opened(::CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) return false;
    constexpr std::int64_t kStepsPerSecond = 10000000;  // a FILETIME counts 100 ns steps
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const ULONGLONG then = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) +
                           static_cast<ULONGLONG>(secondsFromNow * kStepsPerSecond);
    const FILETIME accessed{static_cast<DWORD>(then), static_cast<DWORD>(then >> 32)};
    return ::SetFileTime(opened.get(), nullptr, &accessed, nullptr) != FALSE;
}

void ReadyToChoose(const std::wstring& folder) { SetLastAccess(folder, 60 * 60); }

}  // namespace velkor::host
