#include "shell/main_window.h"

#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "carving/progress_display.h"
#include "carving/result_tree.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 634;
constexpr int kClientHeight = 455;
constexpr int kTimerInterval = 200;
// How often the drive box looks for drives plugged in or pulled out.
constexpr int kDriveWatchInterval = 1000;
constexpr std::int64_t kWaitBeforeExitMs = 500;

MainWindow* gMainWindow = nullptr;

// Images named on the command line that could not be offered as drives are told
// once, when the window opens, never dropped silently.
void TellImagesNotOffered(Window* window) {
    const std::vector<std::string> notOffered = ImagesNotOffered();
    if (notOffered.empty()) return;
    Message text = Words::tr("以下映像文件无法作为驱动器列出：");
    for (const std::string& line : notOffered) text += Message("\n" + line);
    ShowWarning(window, text, Words::tr("映像文件无法打开"));
}

}  // namespace

MainWindow::MainWindow() : form_(MakeMainForm(WindowTitle(), kClientWidth, kClientHeight)) {
    CreateControls();
    CreateMenus();
    form_->WhenClosing([this] { Closing(); });
    Created();
}

void MainWindow::CreateControls() {
    MainForm& form = *form_;
    驱动器框1 = &form.AddDriveBox("驱动器框1", {5, 8, 139, 22}, [this] { DriveChanged(); });
    按钮1 = &form.AddButton("按钮1", {148, 8, 56, 24}, ScanCaption(), [this] { ScanButtonAction(Scan()); });
    按钮3 = &form.AddButton("按钮3", {214, 8, 56, 24}, Words::tr("保存"), [this] { SaveTickedPictures(Save()); });
    进度条1 = &form.AddProgressBar("进度条1", {288, 8, 288, 22});
    透明标签1 = &form.AddLabel("透明标签1", {586, 8, 43, 22});
    树型框1 = &form.AddTreeBox("树型框1", {5, 40, 139, 392}, [this] { Preview(Scan()); }, [this] { recoverMenu_->PopUp(); });
    图片框1 = &form.AddPictureBox("图片框1", {145, 40, 488, 392});
    form.AddStatusBar("状态条1", {0, 435, 634, 20});
    driveStatus_ = &form.AddStatusField("状态条1.1", {0, 0, 144, 20});
    resultStatus_ = &form.AddStatusField("状态条1.2", {146, 0, 488, 20});
    代码编辑框1 = &form.AddTextStore("代码编辑框1", {504, 56, 56, 272});
    目录编辑框1 = &form.AddDirectoryEditBox("目录编辑框1", {288, 472, 72, 24});
    动画物体1 = &form.AddMeasuringControl("动画物体1", {150, 703, 1, 1});
    时钟1 = &form.AddTimer("时钟1", kTimerInterval, [this] { TimerTick(); });
    driveWatch_ = &form.AddTimer("driveWatch", kDriveWatchInterval, [this] { WatchDrives(); });
}

void MainWindow::CreateMenus() {
    recoverMenu_ = &form_->AddMenu("恢复", Words::tr("恢复"));
    recoverMenu_->AddCommand(Words::tr("全选"), "Ctrl+A", [this] { SelectAllEntries(*树型框1); });
    recoverMenu_->AddCommand(Words::tr("反选"), "Ctrl+Shift+A", [this] { UntickAllEntries(*树型框1); });
    recoverMenu_->AddSeparator();
    recoverMenu_->AddCommand(Words::tr("保存文件"), "Ctrl+S", [this] { SaveTickedPictures(Save()); });
    recoverMenu_->AddCommand(Words::tr("退出"), "Ctrl+Q", [this] { ExitWithConfirmation(); });
    Menu& about = form_->AddMenu("关于", Words::tr("关于"));
    about.AddCommand(Words::tr("关于我们"), "", [this] { ShowAbout(); });
}

void MainWindow::Created() {
    DriveChanged();
    driveWatch_->Start(kDriveWatchInterval);
    时钟1->Start(kTimerInterval);
}

// Closing ends the program at once: a running scan or save is abandoned, and every
// dialog is closed so that the loops waiting on them return too.
void MainWindow::Closing() {
    AbandonScan();
    AbandonSave();
    时钟1->Stop();
    driveWatch_->Stop();
    CloseOpenDialogs();
}

void MainWindow::DriveChanged() {
    SelectDrive(*驱动器框1);
    // The drive table is read from the system, so only a drive change refreshes its part.
    ShowDriveStatus();
    ShowResultStatus();
}

void MainWindow::TimerTick() {
    const ScanState& s = TheScanState();
    ShowScanProgress(*进度条1, *透明标签1, s.ScanPosition, s.DeviceSectors);
    if (Scanning()) {
        scanRate_.Note(s.ScanPosition);
    } else {
        scanRate_.Restart();
    }
    ShowResultStatus();
}

bool MainWindow::Scanning() const { return 按钮1->Text() == StopCaption().Utf8(); }

// A scan keeps the drive box disabled and its drive selected, so the list is
// refreshed between scans only; a drive that went away is noticed when a scan or
// save checks it.
void MainWindow::WatchDrives() {
    if (!驱动器框1->Enabled()) return;
    if (!驱动器框1->RefreshIfChanged()) return;
    // The selection is measured again when its drive went away or changed.
    if (驱动器框1->SelectedVolume() != TheScanState().SelectedVolume) DriveChanged();
    ShowDriveStatus();
}

void MainWindow::ShowDriveStatus() {
    const std::optional<VolumeInfo> volume = 驱动器框1->SelectedVolume();
    driveStatus_->SetText(volume ? Message(volume->letter + ": " + SizeText(volume->sizeBytes)) : Words::tr("未选择驱动器"));
}

void MainWindow::ShowResultStatus() {
    if (Scanning()) {
        const ScanState& s = TheScanState();
        resultStatus_->SetText(Words::tr("找到 %1 张照片，%2")
                                   .Arg(树型框1->Count())
                                   .Arg(ScanRateText(scanRate_, s.DeviceSectors - s.ScanPosition)));
        return;
    }
    int ticked = 0;
    for (int i = 0; i < 树型框1->Count(); ++i) ticked += 树型框1->Tick(i);
    const int damaged = 树型框1->DamagedCount();
    resultStatus_->SetText(damaged == 0 ? Words::tr("找到 %1 张照片，已勾选 %2 张").Arg(树型框1->Count()).Arg(ticked)
                                        : Words::tr("找到 %1 张照片，其中 %2 张可能不完整，已勾选 %3 张")
                                              .Arg(树型框1->Count())
                                              .Arg(damaged)
                                              .Arg(ticked));
}

void MainWindow::ExitWithConfirmation() {
    Beep();
    if (!AskYesNo(form_.get(), Words::tr("确认退出程序？"), Words::tr("确认退出"))) return;
    WaitMilliseconds(kWaitBeforeExitMs);
    form_->Close();
}

void MainWindow::ShowAbout() {
    velkor::ShowAbout(form_.get(), Words::tr("关于我们"),
                      Words::tr("Velkor v1.4\n从文件系统已不再列出的驱动器中找回 JPEG 照片。\n"
                                "只读取所选驱动器，从不写入。"));
}

ScanControls MainWindow::Scan() const { return {form_.get(), 按钮1, 驱动器框1, 进度条1, 树型框1, 代码编辑框1, 图片框1}; }

SaveControls MainWindow::Save() const {
    return {form_.get(), 树型框1, 代码编辑框1, 目录编辑框1, 进度条1, 透明标签1, 时钟1, resultStatus_};
}

void OpenMainWindow() {
    // Owned here, not deleted on close: a close arrives inside nested loops whose
    // frames still use the window, and the run returns only after they have.
    auto window = std::make_unique<MainWindow>();
    gMainWindow = window.get();
    window->Form().RunUntilClosed([&window] { TellImagesNotOffered(&window->Form()); });
    gMainWindow = nullptr;
}

MainWindow* TheMainWindow() { return gMainWindow; }

}  // namespace velkor
