#include "carving/photo_saver.h"

#include <algorithm>

#include "device/scan_state.h"
#include "device/raw_reader.h"
#include "platform/files.h"
#include "carving/scan_engine.h"
#include "platform/save_target.h"
#include "platform/target_directory.h"
#include "platform/window_runtime.h"
#include "carving/progress_display.h"
#include "carving/result_tree.h"

namespace velkor {
namespace {

constexpr std::int64_t kWaitBeforeChooserMs = 500;
constexpr int kProgressInterval = 200;

bool gAbandoned = false;

// Asks until the user picks a directory that does not lie on the drive being
// recovered; false when the user cancels.
bool ChooseTargetDirectory(const SaveControls& c, const std::string& drive) {
    for (;;) {
        if (!c.目录编辑框1->ChooseFolder(FolderPrompt()) || gAbandoned) return false;
        const std::string directory = c.目录编辑框1->DirectoryText();
        if (!DirectoryLiesOnDrive(directory, drive)) return true;
        ShowWarning(c.window,
                    Words::tr("%1 位于正在恢复的驱动器 %2: 上，保存到那里会覆盖尚未恢复的照片。请选择其他驱动器上的目录。")
                        .Arg(NativePath(directory), drive),
                    Words::tr("不能保存到这里"));
    }
}

void NoteFailure(SaveReport& report, const std::string& path, const std::string& reason) {
    if (report.failed++ == 0) {
        report.firstFailedPath = path;
        report.firstFailure = reason;
    }
}

// Returns why an entry's sectors cannot be saved at all; empty when at least some came from the drive.
std::string WhyNothingRead(const ReadReport& read, std::int64_t sectors) {
    if (!read.opened || read.gone) return Words::tr("无法读取驱动器（%1）").Arg(read.reason).Utf8();
    if (read.MissingOf(sectors) < sectors) return {};
    if (read.unreadableSectors == 0) return Words::tr("照片所在的扇区已超出驱动器的末尾").Utf8();
    return Words::tr("照片的扇区全都无法读取（%1）").Arg(read.reason).Utf8();
}

// buffer is reused from photo to photo: one read into it and one write from it per photo.
void SaveEntry(const SaveControls& c, TargetDirectory& target, const std::string& directory, int k, ByteSet& buffer,
               SaveReport& report) {
    const std::string name = c.树型框1->Text(k);
    const std::string path = directory + kPathSeparator + name;
    const std::int64_t start = ResultIndexNumber(*c.代码编辑框1, 2 * std::int64_t{k});
    const std::int64_t sectors = ResultIndexNumber(*c.代码编辑框1, 2 * std::int64_t{k} + 1);
    const ReadReport read = ReadVolumeSectorsInto(TheScanState().ScannedDrive, start, sectors, buffer);
    if (const std::string why = WhyNothingRead(read, sectors); !why.empty()) return NoteFailure(report, path, why);
    const TargetDirectory::Saved saved = target.Save(name, buffer);
    if (saved.kind == TargetDirectory::Saved::Kind::kFailed) return NoteFailure(report, path, saved.reason);
    ++report.written;
    // Partial data is worth keeping: the readable part of a photo often still shows.
    if (read.MissingOf(sectors) > 0) ++report.partial;
    if (saved.kind == TargetDirectory::Saved::Kind::kWrittenUnderFreeName && report.renamed++ == 0) {
        report.firstRenamed = saved.name;
    }
}

// Tells in the status bar how many of the ticked photos are saved and how long the rest will take.
class SaveClock {
public:
    explicit SaveClock(const SaveControls& c) : c_(c) {
        for (int k = 0; k < c.树型框1->Count(); ++k) {
            if (c.树型框1->Tick(k) != 1) continue;
            ++files_;
            bytesLeft_ += EntryBytes(k);
        }
        meter_.Note(0);
        Show();
    }
    void Saved(int k) {
        ++saved_;
        const std::int64_t bytes = EntryBytes(k);
        bytesDone_ += bytes;
        bytesLeft_ -= bytes;
        meter_.Note(bytesDone_);
        Show();
    }

private:
    std::int64_t EntryBytes(int k) const {
        return std::max<std::int64_t>(ResultIndexNumber(*c_.代码编辑框1, 2 * std::int64_t{k} + 1), 0) * kSectorSize;
    }
    void Show() const {
        if (c_.statusText != nullptr) c_.statusText->SetText(SaveRateText(meter_, bytesLeft_, saved_, files_));
    }

    const SaveControls& c_;
    RateMeter meter_;
    std::int64_t files_ = 0;
    std::int64_t saved_ = 0;
    std::int64_t bytesDone_ = 0;
    std::int64_t bytesLeft_ = 0;
};

// Every ticked entry fails with reason, as none can be read.
void FailTickedEntries(const SaveControls& c, const std::string& directory, const std::string& reason,
                       SaveReport& report) {
    for (int k = 0; k < c.树型框1->Count(); ++k) {
        if (c.树型框1->Tick(k) == 1) NoteFailure(report, directory + kPathSeparator + c.树型框1->Text(k), reason);
    }
}

// "保存完成" is said only once the files are on the target: a user pulls the stick
// the moment it shows, so a failed flush fails every photo of this save.
void MakeSavedFilesDurable(TargetDirectory& target, const std::string& directory, SaveReport& report) {
    std::string reason;
    if (report.written == 0 || target.MakeDurable(reason)) return;
    const std::int64_t lost = report.written;
    report.written = report.partial = report.renamed = 0;
    const std::string why = Words::tr("无法把文件写入磁盘（%1）").Arg(reason).Utf8();
    for (std::int64_t i = 0; i < lost; ++i) NoteFailure(report, directory, why);
}

Message RenamedText(const SaveReport& report) {
    if (report.renamed == 0) return {};
    return Words::tr("\n%1 张照片的文件名已被目录里的其他文件占用，已改用新名字保存（如 %2），原有文件保持不变。")
        .Arg(report.renamed)
        .Arg(report.firstRenamed);
}

Message PartialText(const SaveReport& report) {
    if (report.partial == 0) return {};
    return Words::tr("\n%1 张照片有无法读取的扇区，已用 0 填充后保存，可能显示不完整。").Arg(report.partial);
}

void TellOutcome(const SaveControls& c, const SaveReport& report) {
    if (report.failed == 0 && report.partial == 0) {
        ShowInformation(c.window, Words::tr("保存完成") + RenamedText(report), Words::tr("完成"));
        return;
    }
    if (report.failed == 0) {
        ShowWarning(c.window, Words::tr("保存完成，但有照片不完整。") + PartialText(report) + RenamedText(report),
                    Words::tr("完成"));
        return;
    }
    ShowWarning(c.window,
                Words::tr("保存未完成：%1 个文件未能保存，%2 个已保存。\n第一个失败的文件：%3\n原因：%4")
                        .Arg(report.failed)
                        .Arg(report.written)
                        .Arg(NativePath(report.firstFailedPath),
                             report.firstFailure) +
                    PartialText(report) + RenamedText(report),
                Words::tr("保存失败"));
}

void SaveEntries(const SaveControls& c, const std::string& directory, SaveReport& report) {
    std::string reason;
    std::optional<TargetDirectory> target = TargetDirectory::Open(directory, reason);
    if (!target) {
        return FailTickedEntries(c, directory, Words::tr("无法打开目录（%1）").Arg(reason).Utf8(),
                                 report);
    }
    if (const std::string gone = WhyResultsDriveIsGone(); !gone.empty()) return FailTickedEntries(c, directory, gone, report);
    const int n = c.树型框1->Count();
    SaveClock clock(c);
    ByteSet buffer;
    EventPump pump;
    for (int i = 1; i <= n && !gAbandoned; ++i) {
        pump.PumpNow();
        const int k = i - 1;
        if (c.树型框1->Tick(k) == 1) {
            SaveEntry(c, *target, directory, k, buffer, report);
            clock.Saved(k);
        }
        ShowSaveProgress(*c.进度条1, *c.透明标签1, i, n);
    }
    MakeSavedFilesDurable(*target, directory, report);
}

}  // namespace

void AbandonSave() { gAbandoned = true; }

SaveReport SaveTickedPictures(const SaveControls& c) {
    SaveReport report;
    gAbandoned = false;
    FailWritesBeyondFileSizeLimit();
    WaitMilliseconds(kWaitBeforeChooserMs);
    c.时钟1->Stop();
    if (ChooseTargetDirectory(c, TheScanState().ScannedDrive)) {
        SaveEntries(c, c.目录编辑框1->DirectoryText(), report);
    } else {
        report.cancelled = true;
    }
    if (gAbandoned) return report;
    if (!report.cancelled) TellOutcome(c, report);
    c.时钟1->Start(kProgressInterval);
    return report;
}

}  // namespace velkor
