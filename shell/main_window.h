#pragma once
// The tool's window: its controls at fixed places, its menus and the wiring of
// their events to the actions.
#include <QMainWindow>
#include <functional>

#include "carving/photo_saver.h"
#include "carving/scan_engine.h"
#include "carving/progress_display.h"

class QMenu;

namespace velkor {

class QtButton;
class QtDirectoryEditBox;
class QtDriveBox;
class QtLabel;
class QtMeasuringControl;
class QtPictureBox;
class QtProgressBar;
class QtTextStore;
class QtTimer;
class QtTreeBox;
class QtWindow;

// The window's title, in the window's language.
inline Message WindowTitle() { return Words::tr("Velkor v1.4（Ostrand）"); }

class MainWindow : public QMainWindow, public Window {
public:
    MainWindow();
    ~MainWindow() override;

    // Runs whenClosed once the window has been closed and every action running in it abandoned.
    void WhenClosed(std::function<void()> whenClosed) { whenClosed_ = std::move(whenClosed); }

    // The measuring control the in-process measuring entry uses.
    MeasuringControl& MeasuringControlOf();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void WireEvents();
    void Created();
    void DriveChanged();
    void TimerTick();
    bool Scanning() const;
    void WatchDrives();
    void ExitWithConfirmation();
    void ShowAbout();
    void ShowDriveStatus();
    void ShowResultStatus();
    ScanControls Scan() const;
    SaveControls Save() const;

    QtWindow* client_ = nullptr;
    QtDriveBox* 驱动器框1 = nullptr;
    QtButton* 按钮1 = nullptr;
    QtButton* 按钮3 = nullptr;
    QtProgressBar* 进度条1 = nullptr;
    QtLabel* 透明标签1 = nullptr;
    QtTreeBox* 树型框1 = nullptr;
    QtPictureBox* 图片框1 = nullptr;
    QWidget* 状态条1 = nullptr;
    QtLabel* driveStatus_ = nullptr;
    QtLabel* resultStatus_ = nullptr;
    RateMeter scanRate_;  // sectors scanned, for the read speed and the time left
    QtTextStore* 代码编辑框1 = nullptr;
    QtDirectoryEditBox* 目录编辑框1 = nullptr;
    QtMeasuringControl* 动画物体1 = nullptr;
    QtTimer* 时钟1 = nullptr;
    QtTimer* driveWatch_ = nullptr;
    QMenu* recoverMenu_ = nullptr;
    std::function<void()> whenClosed_;
};

// Opens the window and handles its events until it is closed. The window is
// destroyed only when every action that ran in it (scan, save, preview, dialogs)
// has returned, so closing at any moment never leaves one holding a dead window.
// While it is open, TheMainWindow() gives it to in-process callers.
void OpenMainWindow();

// The open main window, or nullptr.
MainWindow* TheMainWindow();

}  // namespace velkor
