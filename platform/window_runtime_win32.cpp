// The window runtime on Win32: the common controls, message boxes, the shell's folder
// chooser and the thread's message queue. Texts are UTF-16 at every Windows call.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/catalogue_text.h"
#include "platform/catalogues.h"
#include "platform/window_runtime.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

constexpr wchar_t kFormClass[] = L"VelkorMainForm";
constexpr wchar_t kPictureClass[] = L"VelkorPictureBox";
constexpr UINT kShownMessage = WM_APP + 1;
constexpr int kFirstCommand = 100;
// The state images of a tree with check boxes: 1 unticked, 2 ticked.
constexpr UINT kUnticked = 1;
constexpr UINT kTicked = 2;
constexpr int kWarningImage = 1;
// The system's own icons and cursor by number: the names windows.h gives them are narrow
// strings unless the whole build is wide. 32512 is IDI_APPLICATION and IDC_ARROW, 32515 IDI_WARNING.

std::atomic<const std::map<std::string, std::string>*> gCatalogue{nullptr};

HINSTANCE ModuleInstance() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
    return module;
}

std::wstring Wide(const Message& message) { return Widen(message.Utf8()); }

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

HWND MakeControl(const wchar_t* windowClass, DWORD style, DWORD extendedStyle, HWND parent, int id, Place place,
                 const wchar_t* text = L"") {
    return ::CreateWindowExW(extendedStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                             place.width, place.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ModuleInstance(), nullptr);
}

// "宋体" of 14 pixels, weight 400, GB2312: the font the drive box, the tree and the labels speak in.
HFONT SongFont() {
    static const HFONT font = ::CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                            DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    return font;
}

void UseFont(HWND control, HFONT font) { ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

class Win32Button final : public Button {
public:
    explicit Win32Button(HWND window) : window_(window) {}
    void SetText(const Message& caption) override { ::SetWindowTextW(window_, Wide(caption).c_str()); }
    std::string Text() const override { return TextOf(window_); }

private:
    HWND window_;
};

class Win32ProgressBar final : public ProgressBar {
public:
    explicit Win32ProgressBar(HWND window) : window_(window) {
        ::SendMessageW(window_, PBM_SETRANGE32, 0, 100);
        ::SendMessageW(window_, PBM_SETPOS, 0, 0);
    }
    void SetValue(int value) override { ::SendMessageW(window_, PBM_SETPOS, static_cast<WPARAM>(value), 0); }
    int Value() const override { return static_cast<int>(::SendMessageW(window_, PBM_GETPOS, 0, 0)); }

private:
    HWND window_;
};

class Win32Label final : public Label {
public:
    explicit Win32Label(HWND window) : window_(window) {}
    void SetText(const Message& text) override {
        ::SetWindowTextW(window_, Wide(text).c_str());
        // A transparent label paints nothing behind its text: what lay there must be painted again.
        HWND parent = ::GetParent(window_);
        RECT area{};
        ::GetWindowRect(window_, &area);
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&area), 2);
        ::InvalidateRect(parent, &area, TRUE);
    }
    std::string Text() const override { return TextOf(window_); }

private:
    HWND window_;
};

// One part of the status bar.
class Win32StatusField final : public Label {
public:
    Win32StatusField(HWND bar, int part) : bar_(bar), part_(part) {}
    void SetText(const Message& text) override {
        text_ = text.Utf8();
        ::SendMessageW(bar_, SB_SETTEXTW, static_cast<WPARAM>(part_), reinterpret_cast<LPARAM>(Widen(text_).c_str()));
    }
    std::string Text() const override { return text_; }

private:
    HWND bar_;
    int part_;
    std::string text_;
};

class Win32Timer final : public Timer {
public:
    Win32Timer(HWND owner, UINT_PTR id, int interval) : owner_(owner), id_(id), interval_(interval) {}
    void Start(int milliseconds) override {
        interval_ = milliseconds;
        ::SetTimer(owner_, id_, static_cast<UINT>(std::max(milliseconds, USER_TIMER_MINIMUM)), nullptr);
    }
    void Stop() override { ::KillTimer(owner_, id_); }
    int Interval() const { return interval_; }

private:
    HWND owner_;
    UINT_PTR id_;
    int interval_;
};

class Win32DriveBox final : public DriveBox {
public:
    explicit Win32DriveBox(HWND window) : window_(window) { ListFirstImage(); }
    void WhenChanged(std::function<void()> changed) { changed_ = std::move(changed); }
    void Changed() {
        if (changed_) changed_();
    }

    std::string SelectedLetter() const override {
        const LRESULT index = ::SendMessageW(window_, CB_GETCURSEL, 0, 0);
        return index < 0 || static_cast<std::size_t>(index) >= letters_.size() ? std::string()
                                                                                : letters_[static_cast<std::size_t>(index)];
    }
    // A selection made by the program is told as one made by the user is.
    bool SelectLetter(const std::string& letter) override {
        if (!SelectQuietly(letter)) return false;
        if (letter != told_) {
            told_ = letter;
            Changed();
        }
        return true;
    }
    void SetEnabled(bool enabled) override { ::EnableWindow(window_, enabled ? TRUE : FALSE); }
    bool Enabled() const override { return ::IsWindowEnabled(window_) != FALSE; }
    // The letter the last change was told for, so that selecting it again tells nothing.
    void NoteTold() { told_ = SelectedLetter(); }

protected:
    void ShowVolumes(const std::vector<VolumeInfo>& volumes, const std::string& keep) override {
        ::SendMessageW(window_, CB_RESETCONTENT, 0, 0);
        letters_.clear();
        int widest = 0;
        HDC context = ::GetDC(window_);
        const HGDIOBJ previous = ::SelectObject(context, reinterpret_cast<HGDIOBJ>(::SendMessageW(window_, WM_GETFONT, 0, 0)));
        for (const VolumeInfo& volume : volumes) {
            const std::wstring line = Widen(LineOf(volume));
            ::SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            letters_.push_back(volume.letter);
            SIZE extent{};
            ::GetTextExtentPoint32W(context, line.c_str(), static_cast<int>(line.size()), &extent);
            widest = std::max(widest, static_cast<int>(extent.cx));
        }
        ::SelectObject(context, previous);
        ::ReleaseDC(window_, context);
        // The open list shows every line whole, however narrow the box.
        ::SendMessageW(window_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + 24), 0);
        if (!keep.empty()) SelectQuietly(keep);
        if (::SendMessageW(window_, CB_GETCURSEL, 0, 0) < 0 && !letters_.empty()) ::SendMessageW(window_, CB_SETCURSEL, 0, 0);
        told_ = SelectedLetter();
    }

private:
    bool SelectQuietly(const std::string& letter) {
        const auto found = std::find(letters_.begin(), letters_.end(), letter);
        if (found == letters_.end()) return false;
        ::SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(found - letters_.begin()), 0);
        return true;
    }

    HWND window_;
    std::vector<std::string> letters_;
    std::string told_;
    std::function<void()> changed_;
};

class Win32TreeBox final : public TreeBox {
public:
    explicit Win32TreeBox(HWND window) : window_(window) {
        // Check boxes are asked for once the tree exists, as the common controls want.
        ::SetWindowLongPtrW(window_, GWL_STYLE, ::GetWindowLongPtrW(window_, GWL_STYLE) | TVS_CHECKBOXES);
        images_ = ::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
        ::ImageList_AddIcon(images_, ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512)));
        ::ImageList_AddIcon(images_, ::LoadIconW(nullptr, MAKEINTRESOURCEW(32515)));
    }
    ~Win32TreeBox() { ::ImageList_Destroy(images_); }
    Win32TreeBox(const Win32TreeBox&) = delete;
    Win32TreeBox& operator=(const Win32TreeBox&) = delete;

    void Clear() override {
        ::SendMessageW(window_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        entries_.clear();
    }
    void Append(const std::string& text) override {
        std::wstring wide = Widen(text);
        TVINSERTSTRUCTW insert{};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM;
        insert.item.pszText = wide.data();
        insert.item.state = INDEXTOSTATEIMAGEMASK(kUnticked);
        insert.item.stateMask = TVIS_STATEIMAGEMASK;
        insert.item.lParam = static_cast<LPARAM>(entries_.size());
        auto* item = reinterpret_cast<HTREEITEM>(::SendMessageW(window_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        entries_.push_back({item, text, {}});
    }
    void SetAllTicks(bool ticked) override {
        for (int i = 0; i < Count(); ++i) SetTick(i, ticked);
    }
    int Count() const override { return static_cast<int>(entries_.size()); }
    std::string Text(int index) const override { return Has(index) ? Entry(index).text : std::string(); }
    int Tick(int index) const override {
        if (!Has(index)) return 0;
        const auto state = static_cast<UINT>(::SendMessageW(window_, TVM_GETITEMSTATE,
                                                            reinterpret_cast<WPARAM>(Entry(index).item), TVIS_STATEIMAGEMASK));
        return (state >> 12) == kTicked ? 1 : 0;
    }
    void SetTick(int index, bool ticked) override {
        if (!Has(index)) return;
        TVITEMW item{};
        item.mask = TVIF_STATE;
        item.hItem = Entry(index).item;
        item.state = INDEXTOSTATEIMAGEMASK(ticked ? kTicked : kUnticked);
        item.stateMask = TVIS_STATEIMAGEMASK;
        ::SendMessageW(window_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    void MarkDamaged(int index, const Message& why) override {
        if (!Has(index)) return;
        if (::SendMessageW(window_, TVM_GETIMAGELIST, TVSIL_NORMAL, 0) == 0) {
            ::SendMessageW(window_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images_));
        }
        entries_[static_cast<std::size_t>(index)].why = why.Utf8();
        TVITEMW item{};
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.hItem = Entry(index).item;
        item.iImage = item.iSelectedImage = kWarningImage;
        ::SendMessageW(window_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    bool IsDamaged(int index) const override { return Has(index) && !Entry(index).why.empty(); }
    std::string WhyDamaged(int index) const override { return Has(index) ? Entry(index).why : std::string(); }
    int CurrentIndex() const override {
        auto* current = reinterpret_cast<HTREEITEM>(::SendMessageW(window_, TVM_GETNEXTITEM, TVGN_CARET, 0));
        return current == nullptr ? -1 : IndexOf(current);
    }
    void SetCurrentIndex(int index) override {
        ::SendMessageW(window_, TVM_SELECTITEM, TVGN_CARET,
                       reinterpret_cast<LPARAM>(Has(index) ? Entry(index).item : nullptr));
    }

    // Why the entry with this handle may be damaged, for its tooltip; empty for a whole one.
    std::string WhyDamaged(HTREEITEM item) const { return WhyDamaged(IndexOf(item)); }
    HWND Handle() const { return window_; }

private:
    struct Item {
        HTREEITEM item;
        std::string text;
        std::string why;
    };
    bool Has(int index) const { return index >= 0 && index < Count(); }
    const Item& Entry(int index) const { return entries_[static_cast<std::size_t>(index)]; }
    int IndexOf(HTREEITEM handle) const {
        TVITEMW item{};
        item.mask = TVIF_PARAM;
        item.hItem = handle;
        if (::SendMessageW(window_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) return -1;
        return static_cast<int>(item.lParam);
    }

    HWND window_;
    HIMAGELIST images_;
    std::vector<Item> entries_;
};

class Win32PictureBox final : public PictureBox {
public:
    explicit Win32PictureBox(HWND window) : window_(window) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    void SetPicture(ByteView bytes) override {
        shown_ = {};
        notice_.clear();
        if (!bytes.empty()) {
            RECT area{};
            ::GetClientRect(window_, &area);
            PreviewPicture picture = DecodePreview(bytes, area.right, area.bottom);
            if (picture.outcome == PreviewOutcome::kDecoded) {
                shown_ = std::move(picture);
            } else {
                notice_ = (Words::tr("无法预览：") + WhyNoPreview(picture.outcome)).Utf8();
            }
        }
        ::InvalidateRect(window_, nullptr, TRUE);
    }
    bool HasPicture() const override { return shown_.outcome == PreviewOutcome::kDecoded; }
    std::string Notice() const override { return notice_; }
    PictureSize ShownSize() const override {
        return HasPicture() ? PictureSize{shown_.shownWidth, shown_.shownHeight} : PictureSize{};
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        auto* box = reinterpret_cast<Win32PictureBox*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_PAINT || box == nullptr) return ::DefWindowProcW(window, message, w, l);
        PAINTSTRUCT paint{};
        HDC context = ::BeginPaint(window, &paint);
        box->Paint(context);
        ::EndPaint(window, &paint);
        return 0;
    }

private:
    void Paint(HDC context) const {
        RECT area{};
        ::GetClientRect(window_, &area);
        ::FillRect(context, &area, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        if (HasPicture()) {
            PaintPicture(context, area);
        } else if (!notice_.empty()) {
            const std::wstring text = Widen(notice_);
            ::SetBkMode(context, TRANSPARENT);
            ::SelectObject(context, ::GetStockObject(DEFAULT_GUI_FONT));
            RECT measured = area;
            ::DrawTextW(context, text.c_str(), -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
            RECT placed = area;
            placed.top = std::max(0L, (area.bottom - (measured.bottom - measured.top)) / 2);
            ::DrawTextW(context, text.c_str(), -1, &placed, DT_CENTER | DT_WORDBREAK);
        }
    }
    // The decoder hands rows of R, G, B; a device-independent bitmap wants B, G, R in rows of whole words.
    void PaintPicture(HDC context, const RECT& area) const {
        const int width = shown_.width;
        const int height = shown_.height;
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* from = shown_.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
            std::uint8_t* to = rows.data() + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x) {
                to[3 * x] = from[3 * x + 2];
                to[3 * x + 1] = from[3 * x + 1];
                to[3 * x + 2] = from[3 * x];
            }
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetDIBitsToDevice(context, (area.right - width) / 2, (area.bottom - height) / 2, static_cast<DWORD>(width),
                            static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), rows.data(), &info,
                            DIB_RGB_COLORS);
    }

    HWND window_;
    PreviewPicture shown_;
    std::string notice_;
};

class Win32DirectoryEditBox final : public DirectoryEditBox {
public:
    explicit Win32DirectoryEditBox(HWND window) : window_(window) {}
    bool ChooseFolder(const Message& prompt) override {
        const std::wstring title = Wide(prompt);
        std::wstring start = Widen(DirectoryText());
        BROWSEINFOW browse{};
        browse.hwndOwner = ::GetParent(window_);
        browse.lpszTitle = title.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        browse.lpfn = [](HWND dialog, UINT message, LPARAM, LPARAM data) -> int {
            if (message == BFFM_INITIALIZED && data != 0) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
            return 0;
        };
        browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
        PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
        if (chosen == nullptr) return false;
        wchar_t path[MAX_PATH] = {};
        const bool named = ::SHGetPathFromIDListW(chosen, path) != FALSE;
        ::CoTaskMemFree(chosen);
        if (!named) return false;
        ::SetWindowTextW(window_, path);
        return true;
    }
    std::string DirectoryText() const override { return TextOf(window_); }

private:
    HWND window_;
};

// "Ctrl+Shift+A" as an accelerator for command.
std::optional<ACCEL> AcceleratorOf(std::string_view shortcut, WORD command) {
    ACCEL accelerator{FVIRTKEY, 0, command};
    while (true) {
        const std::size_t plus = shortcut.find('+');
        if (plus == std::string_view::npos) break;
        const std::string_view modifier = shortcut.substr(0, plus);
        if (modifier == "Ctrl") accelerator.fVirt |= FCONTROL;
        if (modifier == "Shift") accelerator.fVirt |= FSHIFT;
        if (modifier == "Alt") accelerator.fVirt |= FALT;
        shortcut.remove_prefix(plus + 1);
    }
    if (shortcut.size() != 1 || !std::isalnum(static_cast<unsigned char>(shortcut[0]))) return std::nullopt;
    accelerator.key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(shortcut[0])));
    return accelerator;
}

class Win32MainForm;
std::vector<Win32MainForm*> gForms;

class Win32Menu final : public Menu {
public:
    Win32Menu(Win32MainForm& form, HMENU menu) : form_(form), menu_(menu) {}
    void AddCommand(const Message& caption, std::string_view shortcut, std::function<void()> chosen) override;
    void AddSeparator() override { ::AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr); }
    void PopUp() override;

private:
    Win32MainForm& form_;
    HMENU menu_;
};

class Win32MainForm final : public MainForm {
public:
    Win32MainForm(const Message& title, int clientWidth, int clientHeight) : clientWidth_(clientWidth), clientHeight_(clientHeight) {
        window_ = ::CreateWindowExW(0, kFormClass, Wide(title).c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, clientWidth, clientHeight, nullptr, nullptr,
                                    ModuleInstance(), this);
        menuBar_ = ::CreateMenu();
        ::SetMenu(window_, menuBar_);
        gForms.push_back(this);
    }
    ~Win32MainForm() override {
        std::erase(gForms, this);
        for (const auto& [id, timer] : timers_) timer->Stop();
        // The handlers go before the window does: its last messages must reach none of them.
        commands_.clear();
        timerTicks_.clear();
        currentChanged_ = nullptr;
        contextMenu_ = nullptr;
        closing_ = nullptr;
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
        if (accelerators_ != nullptr) ::DestroyAcceleratorTable(accelerators_);
    }
    Win32MainForm(const Win32MainForm&) = delete;
    Win32MainForm& operator=(const Win32MainForm&) = delete;

    DriveBox& AddDriveBox(const char*, Place place, std::function<void()> changed) override {
        const int id = NextId();
        HWND box = MakeControl(WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, window_, id,
                               {place.left, place.top, place.width, place.height + 200});
        UseFont(box, SongFont());
        auto drives = std::make_unique<Win32DriveBox>(box);
        Win32DriveBox* made = drives.get();
        made->WhenChanged(std::move(changed));
        commands_[id] = [made] {
            made->NoteTold();
            made->Changed();
        };
        driveBoxes_.push_back(std::move(drives));
        return *made;
    }
    Button& AddButton(const char*, Place place, const Message& caption, std::function<void()> clicked) override {
        const int id = NextId();
        HWND button = MakeControl(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, window_, id, place, Wide(caption).c_str());
        UseFont(button, DefaultFont());
        commands_[id] = std::move(clicked);
        return Own<Win32Button>(button);
    }
    ProgressBar& AddProgressBar(const char*, Place place) override {
        return Own<Win32ProgressBar>(MakeControl(PROGRESS_CLASSW, 0, 0, window_, NextId(), place));
    }
    Label& AddLabel(const char*, Place place) override {
        HWND label = MakeControl(WC_STATICW, SS_LEFT | SS_CENTERIMAGE, WS_EX_TRANSPARENT, window_, NextId(), place);
        UseFont(label, SongFont());
        transparent_.push_back(label);
        return Own<Win32Label>(label);
    }
    TreeBox& AddTreeBox(const char*, Place place, std::function<void()> currentChanged,
                        std::function<void()> contextMenu) override {
        HWND tree = MakeControl(WC_TREEVIEWW, TVS_SHOWSELALWAYS | TVS_INFOTIP | WS_TABSTOP, WS_EX_CLIENTEDGE, window_,
                                NextId(), place);
        UseFont(tree, SongFont());
        currentChanged_ = std::move(currentChanged);
        contextMenu_ = std::move(contextMenu);
        tree_ = &Own<Win32TreeBox>(tree);
        return *tree_;
    }
    PictureBox& AddPictureBox(const char*, Place place) override {
        return Own<Win32PictureBox>(MakeControl(kPictureClass, 0, WS_EX_CLIENTEDGE, window_, NextId(), place));
    }
    void AddStatusBar(const char*, Place place) override {
        statusBar_ = MakeControl(STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE, 0, window_, NextId(), place);
        UseFont(statusBar_, DefaultFont());
    }
    Label& AddStatusField(const char*, Place withinBar) override {
        statusParts_.push_back(withinBar.left + withinBar.width);
        std::vector<int> edges = statusParts_;
        edges.back() = -1;
        ::SendMessageW(statusBar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        return Own<Win32StatusField>(statusBar_, static_cast<int>(statusParts_.size()) - 1);
    }
    TextStore& AddTextStore(const char*, Place) override { return textStores_.emplace_back(); }
    DirectoryEditBox& AddDirectoryEditBox(const char*, Place place) override {
        HWND edit = MakeControl(WC_EDITW, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, window_, NextId(), place);
        return Own<Win32DirectoryEditBox>(edit);
    }
    MeasuringControl& AddMeasuringControl(const char*, Place) override { return measuring_.emplace_back(); }
    Timer& AddTimer(const char*, int interval, std::function<void()> tick) override {
        const auto id = static_cast<UINT_PTR>(NextId());
        auto timer = std::make_unique<Win32Timer>(window_, id, interval);
        Win32Timer* made = timer.get();
        timers_[id] = std::move(timer);
        timerTicks_[id] = std::move(tick);
        return *made;
    }
    Menu& AddMenu(const char*, const Message& caption) override {
        HMENU menu = ::CreatePopupMenu();
        ::AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), Wide(caption).c_str());
        ::DrawMenuBar(window_);
        return menus_.emplace_back(*this, menu);
    }
    void WhenClosing(std::function<void()> closing) override { closing_ = std::move(closing); }
    void Show() override {
        RECT outer{0, 0, clientWidth_, clientHeight_};
        ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE)), TRUE, 0);
        ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                       SWP_NOMOVE | SWP_NOZORDER);
        ::ShowWindow(window_, SW_SHOW);
        ::UpdateWindow(window_);
        open_ = true;
    }
    void Close() override { ::SendMessageW(window_, WM_CLOSE, 0, 0); }
    bool IsOpen() const override { return open_; }
    void RunUntilClosed(std::function<void()> shown) override {
        shown_ = std::move(shown);
        Show();
        ::PostMessageW(window_, kShownMessage, 0, 0);
        MSG message{};
        while (open_) {
            const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
            if (got <= 0) {
                if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            Dispatch(message);
        }
    }

    HWND Handle() const { return window_; }
    int AddCommand(std::function<void()> chosen, std::string_view shortcut) {
        const int id = NextId();
        commands_[id] = std::move(chosen);
        if (const std::optional<ACCEL> accelerator = AcceleratorOf(shortcut, static_cast<WORD>(id))) {
            shortcuts_.push_back(*accelerator);
            if (accelerators_ != nullptr) ::DestroyAcceleratorTable(accelerators_);
            accelerators_ = ::CreateAcceleratorTableW(shortcuts_.data(), static_cast<int>(shortcuts_.size()));
        }
        return id;
    }
    void RunCommand(int id) {
        const auto found = commands_.find(id);
        if (found != commands_.end() && found->second) {
            const std::function<void()> command = found->second;
            command();
        }
    }
    // Hands a message of the thread's queue on, the form's shortcuts first.
    static void Dispatch(MSG& message) {
        for (Win32MainForm* form : gForms) {
            if (form->accelerators_ != nullptr && form->open_ &&
                ::TranslateAcceleratorW(form->window_, form->accelerators_, &message) != 0) {
                return;
            }
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* form = reinterpret_cast<Win32MainForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (form != nullptr) {
            if (const std::optional<LRESULT> handled = form->Handle(message, w, l)) return *handled;
        }
        return ::DefWindowProcW(window, message, w, l);
    }

private:
    template <typename Control, typename... Arguments>
    Control& Own(Arguments... arguments) {
        auto control = std::make_unique<Control>(arguments...);
        Control& made = *control;
        controls_.push_back(std::shared_ptr<void>(std::move(control)));
        return made;
    }
    int NextId() { return nextId_++; }
    static HFONT DefaultFont() { return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); }

    std::optional<LRESULT> Handle(UINT message, WPARAM w, LPARAM l) {
        switch (message) {
            case WM_COMMAND:
                // Menus and buttons notify with 0, shortcuts and the drive box's new selection with 1.
                if (HIWORD(w) <= 1) RunCommand(LOWORD(w));
                return 0;
            case WM_TIMER: {
                const auto found = timerTicks_.find(static_cast<UINT_PTR>(w));
                if (found != timerTicks_.end() && found->second) {
                    const std::function<void()> tick = found->second;
                    tick();
                }
                return 0;
            }
            case WM_NOTIFY:
                return Notified(*reinterpret_cast<NMHDR*>(l), l);
            case WM_CTLCOLORSTATIC:
                if (std::find(transparent_.begin(), transparent_.end(), reinterpret_cast<HWND>(l)) != transparent_.end()) {
                    ::SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
                    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
                }
                return std::nullopt;
            case kShownMessage:
                if (shown_) {
                    const std::function<void()> shown = std::move(shown_);
                    shown();
                }
                return 0;
            case WM_CLOSE:
                // Closing ends the window at once; it stays made until its owner lets it go.
                if (closing_) closing_();
                ::ShowWindow(window_, SW_HIDE);
                open_ = false;
                ::PostMessageW(window_, WM_NULL, 0, 0);
                return 0;
            default:
                return std::nullopt;
        }
    }
    LRESULT Notified(const NMHDR& header, LPARAM l) {
        if (tree_ == nullptr || header.hwndFrom != tree_->Handle()) return 0;
        if (header.code == TVN_SELCHANGEDW && currentChanged_) currentChanged_();
        if (header.code == NM_RCLICK && contextMenu_) {
            contextMenu_();
            return 1;
        }
        if (header.code == TVN_GETINFOTIPW) {
            auto& tip = *reinterpret_cast<NMTVGETINFOTIPW*>(l);
            const std::wstring why = Widen(tree_->WhyDamaged(tip.hItem));
            if (!why.empty() && tip.cchTextMax > 0) {
                const std::size_t length = std::min(why.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
                std::copy_n(why.c_str(), length, tip.pszText);
                tip.pszText[length] = L'\0';
            }
        }
        return 0;
    }

    HWND window_ = nullptr;
    HMENU menuBar_ = nullptr;
    HWND statusBar_ = nullptr;
    int clientWidth_;
    int clientHeight_;
    int nextId_ = kFirstCommand;
    bool open_ = false;
    std::vector<std::shared_ptr<void>> controls_;
    std::vector<std::unique_ptr<Win32DriveBox>> driveBoxes_;
    // Deques: what was handed out stays where it is while more is added.
    std::deque<TextStore> textStores_;
    std::deque<MeasuringControl> measuring_;
    std::deque<Win32Menu> menus_;
    std::map<UINT_PTR, std::unique_ptr<Win32Timer>> timers_;
    std::map<UINT_PTR, std::function<void()>> timerTicks_;
    std::map<int, std::function<void()>> commands_;
    std::vector<ACCEL> shortcuts_;
    HACCEL accelerators_ = nullptr;
    std::vector<int> statusParts_;
    std::vector<HWND> transparent_;
    Win32TreeBox* tree_ = nullptr;
    std::function<void()> currentChanged_;
    std::function<void()> contextMenu_;
    std::function<void()> closing_;
    std::function<void()> shown_;
};

void Win32Menu::AddCommand(const Message& caption, std::string_view shortcut, std::function<void()> chosen) {
    const int id = form_.AddCommand(std::move(chosen), shortcut);
    std::wstring text = Wide(caption);
    if (!shortcut.empty()) text += L"\t" + Widen(shortcut);
    ::AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(id), text.c_str());
}

void Win32Menu::PopUp() {
    POINT at{};
    ::GetCursorPos(&at);
    const auto chosen = static_cast<int>(::TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0,
                                                          form_.Handle(), nullptr));
    if (chosen != 0) form_.RunCommand(chosen);
}

HWND OwnerWindow(Window* owner) {
    auto* form = dynamic_cast<Win32MainForm*>(owner);
    return form == nullptr ? nullptr : form->Handle();
}

int ShowBox(Window* owner, const Message& text, const Message& title, UINT style) {
    return ::MessageBoxW(OwnerWindow(owner), Wide(text).c_str(), Wide(title).c_str(), style);
}

bool RegisterClasses() {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Win32MainForm::Procedure;
    form.hInstance = ModuleInstance();
    form.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    form.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    WNDCLASSEXW picture = form;
    picture.lpfnWndProc = &Win32PictureBox::Procedure;
    picture.hIcon = nullptr;
    picture.lpszClassName = kPictureClass;
    return ::RegisterClassExW(&form) != 0 && ::RegisterClassExW(&picture) != 0;
}

// The user's languages: the environment's first, then the one Windows is set to.
std::vector<std::string> LanguagePreferences() {
    std::vector<std::string> preferences = UserLanguagePreferences();
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) > 0) {
        std::string name = Narrow(locale);
        std::replace(name.begin(), name.end(), '-', '_');
        preferences.push_back(name);
    }
    return preferences;
}

}  // namespace

Message Words::tr(const char* source) {
    const std::map<std::string, std::string>* catalogue = gCatalogue.load();
    if (catalogue != nullptr) {
        const auto found = catalogue->find(source);
        if (found != catalogue->end()) return Message(found->second);
    }
    return Message(source);
}

bool BindWindowRuntime() {
    static const bool bound = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                           ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        // The folder chooser's own dialog needs the thread in a single-threaded apartment.
        ::OleInitialize(nullptr);
        UseLanguage(ChooseLanguage(LanguagePreferences()));
        return RegisterClasses();
    }();
    return bound;
}

bool UseLanguage(const std::string& language) {
    if (language == "zh_CN") {
        gCatalogue = nullptr;
        return true;
    }
    // Read once and kept for the life of the process.
    static const auto* english = new std::map<std::string, std::string>(ReadCatalogueText(
        std::string_view(reinterpret_cast<const char*>(kEnglishCatalogue), kEnglishCatalogueSize)));
    gCatalogue = english;
    return !english->empty();
}

std::unique_ptr<MainForm> MakeMainForm(const Message& title, int clientWidth, int clientHeight) {
    return std::make_unique<Win32MainForm>(title, clientWidth, clientHeight);
}

void ShowAbout(Window* owner, const Message& title, const Message& text) {
    ShowBox(owner, text, title, MB_OK | MB_ICONINFORMATION);
}

void ShowInformation(Window* owner, const Message& text, const Message& title) {
    ShowBox(owner, text, title, MB_OK | MB_ICONINFORMATION);
}

bool AskYesNo(Window* owner, const Message& text, const Message& title) {
    return ShowBox(owner, text, title, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowWarning(Window* owner, const Message& text, const Message& title) {
    ShowBox(owner, text, title, MB_OK | MB_ICONWARNING);
}

void Beep() { ::MessageBeep(MB_OK); }

void CloseOpenDialogs() {
    ::EndMenu();
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            // Message boxes and the folder chooser are dialogs of the system's dialog class.
            if (std::wstring_view(name) == L"#32770" && ::IsWindowVisible(window)) ::EndDialog(window, IDCANCEL);
            return TRUE;
        },
        0);
}

void EventPump::PumpNow() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        Win32MainForm::Dispatch(message);
    }
    last_ = std::chrono::steady_clock::now();
}

}  // namespace velkor
