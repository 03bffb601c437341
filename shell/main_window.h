#pragma once
// The tool's window: its controls at fixed places, its menus and the wiring of
// their events to the actions.
#include <functional>
#include <memory>

#include "carving/photo_saver.h"
#include "carving/progress_display.h"
#include "carving/scan_engine.h"
#include "platform/window_runtime.h"

namespace velkor {

// The window's title, in the window's language.
inline Message WindowTitle() { return Words::tr("Velkor v1.4（Ostrand）"); }

class MainWindow {
public:
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The window itself, as the window runtime made it.
    MainForm& Form() { return *form_; }

    // The measuring control the in-process measuring entry uses.
    MeasuringControl& MeasuringControlOf() { return *动画物体1; }

private:
    void CreateControls();
    void CreateMenus();
    void Created();
    void Closing();
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

    DriveBox* 驱动器框1 = nullptr;
    Button* 按钮1 = nullptr;
    Button* 按钮3 = nullptr;
    ProgressBar* 进度条1 = nullptr;
    Label* 透明标签1 = nullptr;
    TreeBox* 树型框1 = nullptr;
    PictureBox* 图片框1 = nullptr;
    Label* driveStatus_ = nullptr;
    Label* resultStatus_ = nullptr;
    RateMeter scanRate_;  // sectors scanned, for the read speed and the time left
    TextStore* 代码编辑框1 = nullptr;
    DirectoryEditBox* 目录编辑框1 = nullptr;
    MeasuringControl* 动画物体1 = nullptr;
    Timer* 时钟1 = nullptr;
    Timer* driveWatch_ = nullptr;
    Menu* recoverMenu_ = nullptr;
    // Last, so that it goes first: its controls' handlers use the members above.
    std::unique_ptr<MainForm> form_;
};

// Opens the window and handles its events until it is closed. The window is
// destroyed only when every action that ran in it (scan, save, preview, dialogs)
// has returned, so closing at any moment never leaves one holding a dead window.
// While it is open, TheMainWindow() gives it to in-process callers.
void OpenMainWindow();

// The open main window, or nullptr.
MainWindow* TheMainWindow();

}  // namespace velkor
