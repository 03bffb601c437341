#pragma once
// The window runtime: the controls, dialogs and event services the tool's window
// is built from, on Qt 6 Widgets.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <chrono>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/drive_table.h"
#include "platform/message.h"
#include "platform/picture_measure.h"

class QMenu;

namespace velkor {

// Makes sure a QApplication exists and speaks the user's language (see
// UseLanguage); returns false, having said on stderr what failed, when no display
// can be opened.
bool BindWindowRuntime();

// The text of message for Qt's own calls.
inline QString ToQString(const Message& message) { return QString::fromStdString(message.Utf8()); }

// The window the controls lie on; the owner of the boxes they open.
using Window = QWidget;

// A push button whose caption the system reads back.
class Button : public QPushButton {
public:
    using QPushButton::QPushButton;
    void SetText(const Message& caption) { setText(ToQString(caption)); }
    std::string Text() const { return text().toStdString(); }
};

// A progress bar of 0 to 100.
class ProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    void SetValue(int value) { setValue(value); }
};

// A line of text: the percentage label, the status bar's field.
class Label : public QLabel {
public:
    using QLabel::QLabel;
    void SetText(const Message& text) { setText(ToQString(text)); }
    std::string Text() const { return text().toStdString(); }
};

// A repeating timer on the window's thread.
class Timer : public QTimer {
public:
    using QTimer::QTimer;
    void Start(int milliseconds) { start(milliseconds); }
    void Stop() { stop(); }
};

// Returns the language the window speaks for these preferences, most wanted
// first (locale names such as "en_GB.UTF-8", "zh_CN", "C"): "en" for the first one
// that is English, "zh_CN" for one that is Chinese, C or POSIX, and "zh_CN" when none is either.
std::string ChooseLanguage(const std::vector<std::string>& preferences);

// Returns the user's language preferences from LANGUAGE, LC_ALL, LC_MESSAGES and LANG, in that order.
std::vector<std::string> UserLanguagePreferences();

// Makes the window, and Qt's own dialogs and buttons, speak language ("en" or
// "zh_CN"), replacing the catalogues loaded before; returns false when a catalogue
// it needs could not be loaded (the Chinese texts then stand).
bool UseLanguage(const std::string& language);

// The drive box's item role holding a volume's source path byte for byte (a
// QByteArray), by which a host driving the window finds the drive of an image.
inline constexpr int kDriveSourceRole = Qt::UserRole + 1;

// Drive box: a drop-down list of the drive table's volumes. Each line shows the
// letter with what a user recognises; the selected value is the letter alone.
class DriveBox : public QComboBox {
public:
    // Lists the volumes with the first image the host named selected, else the first volume.
    explicit DriveBox(QWidget* parent);
    // Lists the volumes of the drive table again, keeping the selection when it still exists.
    void Refresh();
    // Lists them again only when a drive came, went or changed since the last listing;
    // returns true when it did.
    bool RefreshIfChanged();
    // Returns the selected volume as the last listing described it; nullopt when none is selected.
    std::optional<VolumeInfo> SelectedVolume() const;
    // Returns the selected letter alone; empty when no drive is listed.
    std::string SelectedLetter() const;
    // Selects letter; returns false when it is not listed.
    bool SelectLetter(const std::string& letter);
    void SetEnabled(bool enabled) { setEnabled(enabled); }

protected:
    // The closed box is narrow: its text is cut in the middle, so both the letter
    // and the size stay visible.
    void paintEvent(QPaintEvent* event) override;

private:
    void Fill(std::vector<VolumeInfo> volumes);
    std::vector<VolumeInfo> listed_;
};

// Tree box with a check box on every entry; a flat list addressed by 0-based index.
class TreeBox : public QTreeWidget {
public:
    explicit TreeBox(QWidget* parent);
    void Clear();
    // Appends a top-level entry without a tick.
    void Append(const std::string& text);
    void SetAllTicks(bool ticked);
    int Count() const;
    // Returns the entry's text; empty for an index with no entry.
    std::string Text(int index) const;
    // Returns 1 when the entry is ticked, 0 otherwise (also for an index with no entry).
    int Tick(int index) const;
    void SetTick(int index, bool ticked);
    // Marks the entry as possibly damaged: a warning icon, and why in its tooltip; its text stays.
    void MarkDamaged(int index, const Message& why);
    // Returns true when the entry was marked as possibly damaged.
    bool IsDamaged(int index) const;
    // Returns how many entries are marked as possibly damaged.
    int DamagedCount() const;
    // Returns the current entry, -1 when none.
    int CurrentIndex() const;
    // Makes index current; an index with no entry selects nothing.
    void SetCurrentIndex(int index);
};

// Hidden text store: lines ended by CR LF, read back by number.
class TextStore : public QWidget {
public:
    explicit TextStore(QWidget* parent);
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
class PictureBox : public QLabel {
public:
    explicit PictureBox(QWidget* parent);
    // Shows the JPEG held in bytes, decoded within the preview decoder's limits; bytes it
    // cannot show show "无法预览：" and the reason instead; empty bytes clear the box.
    void SetPicture(ByteView bytes);
    // Returns true only while a picture is shown: false for a cleared box and for a text.
    bool HasPicture() const;
    // Returns the text shown in place of a picture; empty while a picture is shown or the box is clear.
    std::string Notice() const;
};

// Directory edit box: a directory text with a folder chooser.
class DirectoryEditBox : public QLineEdit {
public:
    explicit DirectoryEditBox(QWidget* parent);
    // Opens the folder chooser with prompt as its title; returns false when the
    // user cancels, leaving the directory text as it was.
    bool ChooseFolder(const Message& prompt);
    std::string DirectoryText() const;
};

// Picture-measuring control: measures picture data without painting it.
class MeasuringControl : public QWidget {
public:
    explicit MeasuringControl(QWidget* parent);
    void SetPictureData(ByteView bytes);
    int PictureWidth() const { return size_.width; }
    int PictureHeight() const { return size_.height; }
    void SetTextSetting(const QString& text) { textSetting_ = text; }
    void SetNumberSetting(int number) { numberSetting_ = number; }
    const QString& TextSetting() const { return textSetting_; }
    int NumberSetting() const { return numberSetting_; }

private:
    PictureSize size_;
    QString textSetting_;
    int numberSetting_ = 0;
};

// Modal message box with an information icon and OK.
void ShowInformation(Window* owner, const Message& text, const Message& title);
// Modal message box with a question icon, Yes and No; returns true only for Yes.
bool AskYesNo(Window* owner, const Message& text, const Message& title);
// Modal message box with a warning icon and OK, for failures the user must know of.
void ShowWarning(Window* owner, const Message& text, const Message& title);
void Beep();
// Shows menu at the mouse position and returns when it closes.
void PopUpMenu(QMenu* menu);
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
