#pragma once
// The window runtime's controls on Qt 6 Widgets: each is the Qt widget a user sees and
// the control the system drives. Only the window and hosts built on Qt see them.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "platform/window_runtime.h"

class QEventLoop;

namespace velkor {

// The text of message for Qt's own calls.
inline QString ToQString(const Message& message) { return QString::fromStdString(message.Utf8()); }

// The drive box's item role holding a volume's source path byte for byte (a
// QByteArray), by which a host driving the window finds the drive of an image.
inline constexpr int kDriveSourceRole = Qt::UserRole + 1;

// A widget that owns message boxes: the main window, or a test's stand-in for it.
class QtWindow : public QWidget, public Window {
public:
    using QWidget::QWidget;
};

class QtButton : public QPushButton, public Button {
public:
    using QPushButton::QPushButton;
    void SetText(const Message& caption) override { setText(ToQString(caption)); }
    std::string Text() const override { return text().toStdString(); }
};

class QtProgressBar : public QProgressBar, public ProgressBar {
public:
    using QProgressBar::QProgressBar;
    void SetValue(int value) override { setValue(value); }
    int Value() const override { return value(); }
};

class QtLabel : public QLabel, public Label {
public:
    using QLabel::QLabel;
    void SetText(const Message& text) override { setText(ToQString(text)); }
    std::string Text() const override { return text().toStdString(); }
};

class QtTimer : public QTimer, public Timer {
public:
    using QTimer::QTimer;
    void Start(int milliseconds) override { start(milliseconds); }
    void Stop() override { stop(); }
};

class QtDriveBox : public QComboBox, public DriveBox {
public:
    // Lists the volumes with the first image the host named selected, else the first volume.
    explicit QtDriveBox(QWidget* parent);
    std::string SelectedLetter() const override;
    bool SelectLetter(const std::string& letter) override;
    void SetEnabled(bool enabled) override { setEnabled(enabled); }
    bool Enabled() const override { return isEnabled(); }

protected:
    void ShowVolumes(const std::vector<VolumeInfo>& volumes, const std::string& keep) override;
    // The closed box is narrow: its text is cut in the middle, so both the letter
    // and the size stay visible.
    void paintEvent(QPaintEvent* event) override;
};

class QtTreeBox : public QTreeWidget, public TreeBox {
public:
    explicit QtTreeBox(QWidget* parent);
    void Clear() override { clear(); }
    void Append(const std::string& text) override;
    void SetAllTicks(bool ticked) override;
    int Count() const override { return topLevelItemCount(); }
    std::string Text(int index) const override;
    int Tick(int index) const override;
    void SetTick(int index, bool ticked) override;
    void MarkDamaged(int index, const Message& why) override;
    bool IsDamaged(int index) const override;
    std::string WhyDamaged(int index) const override;
    int CurrentIndex() const override;
    void SetCurrentIndex(int index) override;
};

// The hidden code edit box the found photos' lines are kept in.
class QtTextStore : public QWidget, public TextStore {
public:
    using QWidget::QWidget;
};

class QtPictureBox : public QLabel, public PictureBox {
public:
    explicit QtPictureBox(QWidget* parent);
    void SetPicture(ByteView bytes) override;
    bool HasPicture() const override;
    std::string Notice() const override { return text().toStdString(); }
    PictureSize ShownSize() const override;
};

class QtDirectoryEditBox : public QLineEdit, public DirectoryEditBox {
public:
    using QLineEdit::QLineEdit;
    bool ChooseFolder(const Message& prompt) override;
    std::string DirectoryText() const override { return text().toStdString(); }
};

class QtMeasuringControl : public QWidget, public MeasuringControl {
public:
    using QWidget::QWidget;
};

class QtMenu : public QMenu, public Menu {
public:
    using QMenu::QMenu;
    void AddCommand(const Message& caption, std::string_view shortcut, std::function<void()> chosen) override;
    void AddSeparator() override { addSeparator(); }
    void PopUp() override;
};

class QtMainForm : public QMainWindow, public MainForm {
public:
    QtMainForm(const Message& title, int clientWidth, int clientHeight);
    // The controls go before the QObject part of the window does: their last signals
    // must not reach handlers of a window that is no longer one.
    ~QtMainForm() override;

    DriveBox& AddDriveBox(const char* name, Place place, std::function<void()> changed) override;
    Button& AddButton(const char* name, Place place, const Message& caption, std::function<void()> clicked) override;
    ProgressBar& AddProgressBar(const char* name, Place place) override;
    Label& AddLabel(const char* name, Place place) override;
    TreeBox& AddTreeBox(const char* name, Place place, std::function<void()> currentChanged,
                        std::function<void()> contextMenu) override;
    PictureBox& AddPictureBox(const char* name, Place place) override;
    void AddStatusBar(const char* name, Place place) override;
    Label& AddStatusField(const char* name, Place withinBar) override;
    TextStore& AddTextStore(const char* name, Place place) override;
    DirectoryEditBox& AddDirectoryEditBox(const char* name, Place place) override;
    MeasuringControl& AddMeasuringControl(const char* name, Place place) override;
    Timer& AddTimer(const char* name, int interval, std::function<void()> tick) override;
    Menu& AddMenu(const char* name, const Message& caption) override;
    void WhenClosing(std::function<void()> closing) override { closing_ = std::move(closing); }
    void Show() override;
    void Close() override { close(); }
    bool IsOpen() const override { return isVisible(); }
    void RunUntilClosed(std::function<void()> shown) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* client_ = nullptr;
    QWidget* statusBar_ = nullptr;
    std::function<void()> closing_;
    QEventLoop* running_ = nullptr;
};

// The Qt window of form, which a Qt backend made.
QtMainForm& QtWindowOf(MainForm& form);

}  // namespace velkor
