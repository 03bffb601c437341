#include "carving/photo_saver.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "carving/scan_state.h"
#include "device/raw_reader.h"
#include "platform/files.h"
#include "platform/save_target.h"
#include "platform/window_runtime.h"
#include "shell/progress_display.h"
#include "shell/result_tree.h"

namespace velkor {
namespace {

constexpr std::int64_t kWaitBeforeChooserMs = 500;
constexpr int kProgressInterval = 200;

bool gAbandoned = false;

// Asks until the user picks a directory that does not lie on the drive being
// recovered; false when the user cancels.
bool ChooseTargetDirectory(const SaveControls& c, const std::string& drive) {
    for (;;) {
        if (!c.目录编辑框1->ChooseFolder(kFolderPrompt)) return false;
        const std::string directory = c.目录编辑框1->DirectoryText();
        if (!DirectoryLiesOnDrive(directory, drive)) return true;
        ShowWarning(c.window,
                    QStringLiteral("%1 位于正在恢复的驱动器 %2: 上，保存到那里会覆盖尚未恢复的照片。请选择其他驱动器上的目录。")
                        .arg(QDir::toNativeSeparators(QString::fromStdString(directory)), QString::fromStdString(drive)),
                    QStringLiteral("不能保存到这里"));
    }
}

void SaveEntry(const SaveControls& c, const std::string& directory, int k, SaveReport& report) {
    const std::string path = directory + kPathSeparator + c.树型框1->Text(k).toStdString();
    const std::int64_t start = ResultIndexNumber(*c.代码编辑框1, 2 * std::int64_t{k});
    const std::int64_t sectors = ResultIndexNumber(*c.代码编辑框1, 2 * std::int64_t{k} + 1);
    const ByteSet data = ReadVolumeSectors(TheScanState().SelectedDrive, start, sectors);
    std::string reason;
    if (data.empty() && sectors > 0) {
        reason = "无法读取驱动器 " + TheScanState().SelectedDrive + ":";
    } else if (PathIsDriveSource(path, TheScanState().SelectedDrive)) {
        reason = "这个文件就是正在恢复的驱动器 " + TheScanState().SelectedDrive + ": 本身，不能覆盖";
    } else if (ReplaceFileAtomically(path, data, reason)) {
        ++report.written;
        return;
    }
    if (report.failed++ == 0) {
        report.firstFailedPath = path;
        report.firstFailure = reason;
    }
}

void TellOutcome(const SaveControls& c, const SaveReport& report) {
    if (report.failed == 0) {
        ShowInformation(c.window, QStringLiteral("保存完成"), QStringLiteral("完成"));
        return;
    }
    ShowWarning(c.window,
                QStringLiteral("保存未完成：%1 个文件未能保存，%2 个已保存。\n第一个失败的文件：%3\n原因：%4")
                    .arg(report.failed)
                    .arg(report.written)
                    .arg(QDir::toNativeSeparators(QString::fromStdString(report.firstFailedPath)),
                         QString::fromStdString(report.firstFailure)),
                QStringLiteral("保存失败"));
}

}  // namespace

void AbandonSave() { gAbandoned = true; }

SaveReport SaveTickedPictures(const SaveControls& c) {
    SaveReport report;
    gAbandoned = false;
    WaitMilliseconds(kWaitBeforeChooserMs);
    c.时钟1->stop();
    if (!ChooseTargetDirectory(c, TheScanState().SelectedDrive)) {
        report.cancelled = true;
        c.时钟1->start(kProgressInterval);
        return report;
    }
    const std::string directory = c.目录编辑框1->DirectoryText();
    const int n = c.树型框1->Count();
    EventPump pump;
    for (int i = 1; i <= n && !gAbandoned; ++i) {
        pump.PumpNow();
        const int k = i - 1;
        if (c.树型框1->Tick(k) == 1) SaveEntry(c, directory, k, report);
        ShowSaveProgress(*c.进度条1, *c.透明标签1, i, n);
    }
    if (!gAbandoned) TellOutcome(c, report);
    c.时钟1->start(kProgressInterval);
    return report;
}

}  // namespace velkor
