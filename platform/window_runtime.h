#pragma once
// The window runtime: the controls, dialogs and event services the tool's window is
// built from, as the system sees them. A backend makes the controls; nothing here
// names the toolkit it uses.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/drive_table.h"
#include "platform/message.h"
#include "platform/picture_measure.h"
#include "platform/preview_decode.h"

namespace velkor {

// Makes sure the toolkit is ready and speaks the user's language (see UseLanguage);
// returns false, having said on stderr what failed, when no display can be opened.
bool BindWindowRuntime();

// A window: the owner of the boxes its actions open.
class Window {
public:
    virtual ~Window() = default;
};

// A push button whose caption the system reads back.
class Button {
public:
    virtual void SetText(const Message& caption) = 0;
    virtual std::string Text() const = 0;

protected:
    ~Button() = default;
};

// A progress bar of 0 to 100.
class ProgressBar {
public:
    virtual void SetValue(int value) = 0;
    virtual int Value() const = 0;

protected:
    ~ProgressBar() = default;
};

// A line of text: the percentage label, the status bar's field.
class Label {
public:
    virtual void SetText(const Message& text) = 0;
    virtual std::string Text() const = 0;

protected:
    ~Label() = default;
};

// A repeating timer on the window's thread.
class Timer {
public:
    virtual void Start(int milliseconds) = 0;
    virtual void Stop() = 0;

protected:
    ~Timer() = default;
};

// Returns the language the window speaks for these preferences, most wanted
// first (locale names such as "en_GB.UTF-8", "zh_CN", "C"): "en" for the first one
// that is English, "zh_CN" for one that is Chinese, C or POSIX, and "zh_CN" when none is either.
std::string ChooseLanguage(const std::vector<std::string>& preferences);

// Returns the user's language preferences from LANGUAGE, LC_ALL, LC_MESSAGES and LANG, in that order.
std::vector<std::string> UserLanguagePreferences();

// Makes the window, and the toolkit's own dialogs and buttons, speak language ("en"
// or "zh_CN"), replacing the catalogues loaded before; returns false when a catalogue
// it needs could not be loaded (the Chinese texts then stand).
bool UseLanguage(const std::string& language);

// Drive box: a drop-down list of the drive table's volumes. Each line shows the
// letter with what a user recognises; the selected value is the letter alone.
class DriveBox {
public:
    // Lists the volumes of the drive table again, keeping the selection when it still exists.
    void Refresh();
    // Lists them again only when a drive came, went or changed since the last listing;
    // returns true when it did.
    bool RefreshIfChanged();
    // Returns the selected volume as the last listing described it; nullopt when none is selected.
    std::optional<VolumeInfo> SelectedVolume() const;
    // Returns the selected letter alone; empty when no drive is listed.
    virtual std::string SelectedLetter() const = 0;
    // Selects letter; returns false when it is not listed.
    virtual bool SelectLetter(const std::string& letter) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;

protected:
    ~DriveBox() = default;
    // Lists the volumes with the first image the host named selected, else the first volume.
    void ListFirstImage();
    // The line a volume is shown as.
    static std::string LineOf(const VolumeInfo& volume) { return volume.letter + ":  " + volume.description; }
    // Shows one line for each volume, in order, and selects keep again when it is among
    // them; neither tells anyone that the selection changed.
    virtual void ShowVolumes(const std::vector<VolumeInfo>& volumes, const std::string& keep) = 0;

private:
    void Fill(std::vector<VolumeInfo> volumes);
    std::vector<VolumeInfo> listed_;
};

// Tree box with a check box on every entry; a flat list addressed by 0-based index.
class TreeBox {
public:
    virtual void Clear() = 0;
    // Appends a top-level entry without a tick.
    virtual void Append(const std::string& text) = 0;
    virtual void SetAllTicks(bool ticked) = 0;
    virtual int Count() const = 0;
    // Returns the entry's text; empty for an index with no entry.
    virtual std::string Text(int index) const = 0;
    // Returns 1 when the entry is ticked, 0 otherwise (also for an index with no entry).
    virtual int Tick(int index) const = 0;
    virtual void SetTick(int index, bool ticked) = 0;
    // Marks the entry as possibly damaged: a warning icon, and why in its tooltip; its text stays.
    virtual void MarkDamaged(int index, const Message& why) = 0;
    // Returns true when the entry was marked as possibly damaged.
    virtual bool IsDamaged(int index) const = 0;
    // Returns why the entry may be damaged, as its tooltip says; empty for a whole one.
    virtual std::string WhyDamaged(int index) const = 0;
    // Returns how many entries are marked as possibly damaged.
    int DamagedCount() const;
    // Returns the current entry, -1 when none.
    virtual int CurrentIndex() const = 0;
    // Makes index current; an index with no entry selects nothing.
    virtual void SetCurrentIndex(int index) = 0;

protected:
    ~TreeBox() = default;
};

// Hidden text store: lines ended by CR LF, read back by number.
class TextStore {
public:
    void Clear();
    void Append(std::string_view text);
    // Returns line n (0-based) without its line end; empty for a missing line.
    std::string Line(std::int64_t n) const;
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::vector<std::size_t> lineStarts_{0};
};

// Picture box: shows a JPEG from bytes, scaled down to fit with its aspect ratio kept, or
// a short text saying why it cannot.
class PictureBox {
public:
    // Shows the JPEG held in bytes, decoded within the preview decoder's limits; bytes it
    // cannot show show "无法预览：" and the reason instead; empty bytes clear the box.
    virtual void SetPicture(ByteView bytes) = 0;
    // Returns true only while a picture is shown: false for a cleared box and for a text.
    virtual bool HasPicture() const = 0;
    // Returns the text shown in place of a picture; empty while a picture is shown or the box is clear.
    virtual std::string Notice() const = 0;
    // Returns the size the picture is shown at; 0 x 0 while none is.
    virtual PictureSize ShownSize() const = 0;

protected:
    ~PictureBox() = default;
};

// Why a picture cannot be previewed, after "无法预览：".
Message WhyNoPreview(PreviewOutcome outcome);

// Directory edit box: a directory text with a folder chooser.
class DirectoryEditBox {
public:
    // Opens the folder chooser with prompt as its title; returns false when the
    // user cancels, leaving the directory text as it was.
    virtual bool ChooseFolder(const Message& prompt) = 0;
    virtual std::string DirectoryText() const = 0;

protected:
    ~DirectoryEditBox() = default;
};

// Picture-measuring control: measures picture data without painting it.
class MeasuringControl {
public:
    void SetPictureData(ByteView bytes) { size_ = MeasurePicture(bytes); }
    int PictureWidth() const { return size_.width; }
    int PictureHeight() const { return size_.height; }
    void SetTextSetting(std::string text) { textSetting_ = std::move(text); }
    void SetNumberSetting(int number) { numberSetting_ = number; }
    const std::string& TextSetting() const { return textSetting_; }
    int NumberSetting() const { return numberSetting_; }

private:
    PictureSize size_;
    std::string textSetting_;
    int numberSetting_ = 0;
};

// Where a control lies on its window's client area, in pixels.
struct Place {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A menu of commands: in the menu bar, or popped up at the mouse.
class Menu {
public:
    // Adds a command run when chosen; shortcut such as "Ctrl+A", empty for none.
    virtual void AddCommand(const Message& caption, std::string_view shortcut, std::function<void()> chosen) = 0;
    virtual void AddSeparator() = 0;
    // Shows the menu at the mouse position and returns when it closes.
    virtual void PopUp() = 0;

protected:
    ~Menu() = default;
};

// The tool's main window: a client area of fixed size on which controls are laid by
// name and place, a menu bar and a status bar. It owns everything added to it. The
// drive box, the tree box and the labels of the client area speak in "宋体" of 14
// pixels where it exists, in a CJK font of the system elsewhere.
class MainForm : public Window {
public:
    virtual DriveBox& AddDriveBox(const char* name, Place place, std::function<void()> changed) = 0;
    virtual Button& AddButton(const char* name, Place place, const Message& caption, std::function<void()> clicked) = 0;
    virtual ProgressBar& AddProgressBar(const char* name, Place place) = 0;
    // A label without a background of its own.
    virtual Label& AddLabel(const char* name, Place place) = 0;
    // currentChanged runs when another entry becomes current; contextMenu when the
    // user asks for the tree's menu (a right click).
    virtual TreeBox& AddTreeBox(const char* name, Place place, std::function<void()> currentChanged,
                                std::function<void()> contextMenu) = 0;
    virtual PictureBox& AddPictureBox(const char* name, Place place) = 0;
    // The status bar at place; its fields lie at places within it.
    virtual void AddStatusBar(const char* name, Place place) = 0;
    virtual Label& AddStatusField(const char* name, Place withinBar) = 0;
    // A store of text lines, never shown.
    virtual TextStore& AddTextStore(const char* name, Place place) = 0;
    virtual DirectoryEditBox& AddDirectoryEditBox(const char* name, Place place) = 0;
    // A measuring control, never shown.
    virtual MeasuringControl& AddMeasuringControl(const char* name, Place place) = 0;
    // A timer of interval milliseconds, not yet started.
    virtual Timer& AddTimer(const char* name, int interval, std::function<void()> tick) = 0;
    virtual Menu& AddMenu(const char* name, const Message& caption) = 0;
    // closing runs whenever the window closes, by the user, the system or Close; by
    // its return nothing may still be running that uses the window's controls.
    virtual void WhenClosing(std::function<void()> closing) = 0;
    virtual void Show() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Shows the window modal to the whole application, runs shown once it is on the
    // screen, and handles its events until it has closed.
    virtual void RunUntilClosed(std::function<void()> shown) = 0;
};

// Makes the main window with title and a client area of clientWidth by clientHeight.
std::unique_ptr<MainForm> MakeMainForm(const Message& title, int clientWidth, int clientHeight);

// Modal message box with the program's own icon, text and OK.
void ShowAbout(Window* owner, const Message& title, const Message& text);
// Modal message box with an information icon and OK.
void ShowInformation(Window* owner, const Message& text, const Message& title);
// Modal message box with a question icon, Yes and No; returns true only for Yes.
bool AskYesNo(Window* owner, const Message& text, const Message& title);
// Modal message box with a warning icon and OK, for failures the user must know of.
void ShowWarning(Window* owner, const Message& text, const Message& title);
void Beep();
// Closes every open message box, folder chooser and pop-up menu as cancelled, so
// that the nested event loops they run return.
void CloseOpenDialogs();

// Lets pending window events run. Called from long loops: it only does work when
// some time has passed since the last run, so calling it per step is cheap.
class EventPump {
public:
    void Pump();
    // Processes pending events now, whatever the time.
    void PumpNow();

private:
    std::chrono::steady_clock::time_point last_{};
    std::uint32_t calls_ = 0;
};

}  // namespace velkor
