#include "tests/support/window_driver.h"

#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <vector>

#include "host/thread_dialogs_win32.h"
#include "platform/windows_text.h"

namespace velkor::testing {
namespace {

// The tree view's check box state images: 1 unticked, 2 ticked.
constexpr UINT kTicked = 2;
constexpr UINT kUnticked = 1;

}  // namespace

struct WindowDriver::Backend {
    HWND form;
    HWND Control(const wchar_t* windowClass) const {
        HWND control = host::Descendant(form, windowClass);
        if (control == nullptr) throw std::runtime_error("the form has no control of that class");
        return control;
    }
    std::vector<HTREEITEM> Items() const {
        HWND tree = Control(WC_TREEVIEWW);
        std::vector<HTREEITEM> items;
        for (auto* item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item != nullptr;
             item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
            items.push_back(item);
        }
        return items;
    }
    // A click runs the button's action before it returns, as a user's click does within the window's loop.
    void Click(int which) const {
        HWND button = host::FormButton(form, which);
        ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
};

WindowDriver::WindowDriver(MainWindow&) : backend_(new Backend{host::ThreadMainForm()}) {
    if (backend_->form == nullptr) throw std::runtime_error("the main window is not shown");
}

WindowDriver::~WindowDriver() = default;

void WindowDriver::ClickScan() { backend_->Click(0); }

void WindowDriver::ClickSave() { backend_->Click(1); }

void WindowDriver::Choose(const std::string& caption) {
    HMENU bar = ::GetMenu(backend_->form);
    for (int i = 0; i < ::GetMenuItemCount(bar); ++i) {
        HMENU menu = ::GetSubMenu(bar, i);
        for (int j = 0; menu != nullptr && j < ::GetMenuItemCount(menu); ++j) {
            wchar_t text[256] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(j), text, 256, MF_BYPOSITION);
            std::wstring shown = text;
            if (Narrow(shown.substr(0, shown.find(L'\t'))) != caption) continue;
            ::SendMessageW(backend_->form, WM_COMMAND, MAKEWPARAM(::GetMenuItemID(menu, j), 0), 0);
            return;
        }
    }
    throw std::runtime_error("no menu command " + caption);
}

int WindowDriver::Entries() const { return static_cast<int>(backend_->Items().size()); }

int WindowDriver::Ticked() const {
    HWND tree = backend_->Control(WC_TREEVIEWW);
    int ticked = 0;
    for (HTREEITEM item : backend_->Items()) {
        const auto state = static_cast<UINT>(
            ::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
        ticked += (state >> 12) == kTicked ? 1 : 0;
    }
    return ticked;
}

void WindowDriver::SetTick(int index, bool ticked) {
    TVITEMW item{};
    item.mask = TVIF_STATE;
    item.hItem = backend_->Items().at(static_cast<std::size_t>(index));
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? kTicked : kUnticked);
    item.stateMask = TVIS_STATEIMAGEMASK;
    ::SendMessageW(backend_->Control(WC_TREEVIEWW), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

std::string WindowDriver::StatusField(int field) const {
    HWND bar = backend_->Control(STATUSCLASSNAMEW);
    const auto length = LOWORD(::SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(field), 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(field), reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Narrow(text);
}

}  // namespace velkor::testing
