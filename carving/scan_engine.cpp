#include "carving/scan_engine.h"

#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "carving/candidate_cut.h"
#include "carving/candidate_validation.h"
#include "carving/scan_state.h"
#include "device/raw_reader.h"
#include "platform/directory_lock.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "shell/result_tree.h"

namespace velkor {
namespace {

const QString kCannotScanTitle = QStringLiteral("无法扫描");

// Set when the window closes during a scan: the scan ends without any message.
bool gAbandoned = false;

// What one run of the button action carries through its loops.
struct ScanRun {
    const ScanControls& controls;
    ScanState& state;
    EventPump pump;
    QString failure;  // set when the scan had to stop because it cannot work
    std::optional<DirectoryLock> scratchLock;  // held from the start of a scan to its end
};

QString DriveName(const std::string& letter) {
    for (const VolumeInfo& volume : ListVolumes()) {
        if (volume.letter == letter) {
            return QStringLiteral("%1:（%2）").arg(QString::fromStdString(letter), QString::fromStdString(volume.source));
        }
    }
    return QString::fromStdString(letter) + ":";
}

// Takes the program directory's scratch files for this scan; returns why it cannot, or an empty text.
QString TakeScratchFiles(std::optional<DirectoryLock>& scratchLock) {
    const QString directory = QString::fromStdString(ProgramDirectory());
    bool heldElsewhere = false;
    std::string failure;
    scratchLock = DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure);
    if (scratchLock) return {};
    if (heldElsewhere) {
        return QStringLiteral("另一个 Velkor 正在用程序目录 %1 扫描。两个副本不能共用这里的临时文件，"
                              "请等那次扫描结束，或从另一个目录运行本程序。")
            .arg(directory);
    }
    return QStringLiteral("无法锁定程序目录 %1 的临时文件（%2），无法扫描。").arg(directory, QString::fromStdString(failure));
}

// Returns why a scan of the selected drive cannot work, or an empty text; when it
// can, scratchLock holds the scratch files for it.
QString WhyScanCannotStart(const ScanState& state, std::optional<DirectoryLock>& scratchLock) {
    const QString drive = DriveName(state.SelectedDrive);
    if (state.SelectedDrive.empty() || ReadVolumeSectors(state.SelectedDrive, 0, 1).empty()) {
        return QStringLiteral("无法打开驱动器 %1：设备不存在或没有读取权限（请以 root 运行，或把用户加入 disk 组）。")
            .arg(drive);
    }
    if (state.DeviceSectors <= 0) {
        return QStringLiteral("无法确定驱动器 %1 的大小，无法扫描。").arg(drive);
    }
    if (!IsExecutableFile(ValidatorPath())) {
        return QStringLiteral("找不到校验程序 %1，或它不可执行。").arg(QString::fromStdString(ValidatorPath()));
    }
    if (!IsDirectoryWritable(ProgramDirectory())) {
        return QStringLiteral("程序目录 %1 不可写，无法存放临时文件。").arg(QString::fromStdString(ProgramDirectory()));
    }
    return TakeScratchFiles(scratchLock);
}

void StartScan(ScanRun& run) {
    const ScanControls& c = run.controls;
    c.按钮1->setText(kStopCaption);
    run.state.ScanPosition = 0;
    c.驱动器框1->setEnabled(false);
    c.树型框1->SetCurrentIndex(kNoEntryIndex);
    Preview(c);
    ClearResultTree(*c.树型框1);
    c.代码编辑框1->Clear();
}

void StopScan(ScanRun& run) {
    const ScanControls& c = run.controls;
    c.按钮1->setText(kScanCaption);
    run.state.ScanPosition = StopPositionFor(run.state.DeviceSectors);
    c.驱动器框1->setEnabled(true);
    c.进度条1->setValue(100);
}

void ListPicture(ScanRun& run, std::int64_t start) {
    ScanState& s = run.state;
    AppendResultEntry(*run.controls.树型框1, std::to_string(s.NameCounter) + ".jpg");
    ++s.NameCounter;
    AppendResultLocation(*run.controls.代码编辑框1, start, s.CandidateSectors);
}

enum class CutVerdict { kAccepted, kRejected, kNoMoreCuts };

// Judges the cut of the first sectors of reach. kNoMoreCuts when no further cut of
// this candidate is worth judging: the validator cannot start, or it ran out of
// time, which further cuts behind the same header would only repeat.
CutVerdict JudgeCut(ScanRun& run, ByteView reach, std::int64_t sectors) {
    ScanState& s = run.state;
    const ByteView cut = CutBytes(reach, sectors);
    s.CandidateSectors = sectors;
    s.CandidateBytes.assign(cut.begin(), cut.end());
    const ValidatorExchange exchange = ValidateCandidate(s);
    if (!exchange.validatorStarted) {
        run.failure = QStringLiteral("校验程序 %1 无法启动（%2），扫描已停止。")
                          .arg(QString::fromStdString(ValidatorPath()), QString::fromStdString(exchange.failure));
        return CutVerdict::kNoMoreCuts;
    }
    if (!exchange.rejected) return CutVerdict::kAccepted;
    return exchange.timedOut ? CutVerdict::kNoMoreCuts : CutVerdict::kRejected;
}

// Tries the cuts seeker finds in reach until one is accepted or no more are worth trying.
CutVerdict JudgeCuts(ScanRun& run, ByteView reach, CutSeeker& seeker) {
    while (const auto sectors = seeker.Next()) {
        const CutVerdict verdict = JudgeCut(run, reach, *sectors);
        if (verdict != CutVerdict::kRejected) return verdict;
    }
    return CutVerdict::kRejected;
}

// The 100000 sectors from the candidate's first sector: the rest of this chunk
// followed by the start of the next one. The next chunk is read once, behind this
// one, and kept for its own turn, so a photo straddling the boundary costs no
// second read. Empty when the volume cannot be opened.
ByteView LongSearchBlock(ScanState& s, std::size_t offset) {
    const auto chunkBytes = static_cast<std::size_t>(kChunkBytes);
    if (s.CurrentChunk.size() == chunkBytes) {
        ReadVolumeChunkInto(s.SelectedDrive, s.ScanPosition + kChunkSectors, s.CurrentChunk, chunkBytes);
    }
    if (s.CurrentChunk.size() < 2 * chunkBytes) return {};
    return ByteView(s.CurrentChunk).subspan(offset, chunkBytes);
}

// Makes CurrentChunk the chunk at ScanPosition, moving it down when a straddling
// photo already had it read.
void LoadCurrentChunk(ScanState& s) {
    const auto chunkBytes = static_cast<std::size_t>(kChunkBytes);
    if (s.CurrentChunk.size() == 2 * chunkBytes) {
        std::memmove(s.CurrentChunk.data(), s.CurrentChunk.data() + chunkBytes, chunkBytes);
        s.CurrentChunk.resize(chunkBytes);
        return;
    }
    ReadVolumeChunkInto(s.SelectedDrive, s.ScanPosition, s.CurrentChunk);
}

void HandleCandidate(ScanRun& run, std::int64_t slot) {
    ScanState& s = run.state;
    const std::int64_t start = s.ScanPosition + slot - 1;
    const auto offset = static_cast<std::size_t>((slot - 1) * 512);
    const ByteView tail = ByteView(s.CurrentChunk).subspan(offset, static_cast<std::size_t>(kChunkBytes) - offset);
    std::set<std::int64_t> tried;
    s.CandidateSectors = 0;
    s.CandidateBytes.clear();
    // Without an end marker in the rest of this chunk the photo ends beyond it, and
    // the block read from its own first sector holds every cut the tail could offer.
    CutSeeker tailCuts(tail, tried);
    CutVerdict verdict = tailCuts.HasEndMarker() ? JudgeCuts(run, tail, tailCuts) : CutVerdict::kRejected;
    // A photo whose end lies past this chunk is sought in a block read from its own first sector.
    if (verdict == CutVerdict::kRejected && static_cast<std::int64_t>(tail.size()) < kChunkBytes) {
        const ByteView block = LongSearchBlock(s, offset);
        CutSeeker blockCuts(block, tried);
        verdict = JudgeCuts(run, block, blockCuts);
    }
    const bool accepted = verdict == CutVerdict::kAccepted;
    if (!accepted && !tried.empty()) s.CandidateSectors = 1;
    if (accepted && s.CandidateSectors > kMinimumListedSectors) ListPicture(run, start);
}

bool StopRequested(const ScanState& s) { return s.ScanPosition > s.DeviceSectors; }

void ScanChunk(ScanRun& run) {
    ScanState& s = run.state;
    LoadCurrentChunk(s);
    s.SectorsPerChunk = static_cast<std::int32_t>(kChunkSectors);
    const std::int64_t slotsRead = std::min<std::int64_t>(static_cast<std::int64_t>(s.CurrentChunk.size()), kChunkBytes) / 512;
    for (std::int64_t i = 1; i <= s.SectorsPerChunk; ++i) {
        run.pump.Pump();
        if (StopRequested(s)) break;
        if (i > slotsRead) continue;
        if (BeginsCandidate(ByteView(s.CurrentChunk).subspan(static_cast<std::size_t>((i - 1) * 512), 512))) {
            HandleCandidate(run, i);
            if (!run.failure.isEmpty()) s.ScanPosition = StopPositionFor(s.DeviceSectors);
        }
    }
    s.ScanPosition += kChunkSectors;
    run.pump.Pump();
}

void FinishScan(ScanRun& run, bool wasStop) {
    const ScanControls& c = run.controls;
    SelectAllEntries(*c.树型框1);
    if (!wasStop && !gAbandoned) {
        if (run.failure.isEmpty()) {
            ShowInformation(c.window, QStringLiteral("扫描完成"), QStringLiteral("完成"));
        } else {
            ShowWarning(c.window, run.failure, kCannotScanTitle);
        }
    }
    c.驱动器框1->setEnabled(true);
    c.按钮1->setText(kScanCaption);
    run.state.CurrentChunk = ByteSet{};
}

}  // namespace

std::int64_t StopPositionFor(std::int64_t deviceSectors) {
    return std::max<std::int64_t>(kStopPosition, deviceSectors + kChunkSectors);
}

void AbandonScan() {
    gAbandoned = true;
    ScanState& s = TheScanState();
    s.ScanPosition = StopPositionFor(s.DeviceSectors);
}

void ScanButtonAction(const ScanControls& controls) {
    ScanRun run{controls, TheScanState(), {}, {}, {}};
    const bool isStart = controls.按钮1->text() == kScanCaption;
    if (isStart) {
        const QString reason = WhyScanCannotStart(run.state, run.scratchLock);
        if (!reason.isEmpty()) {
            ShowWarning(controls.window, reason, kCannotScanTitle);
            return;
        }
        gAbandoned = false;
        StartScan(run);
    } else {
        StopScan(run);
    }
    run.state.NameCounter = kFirstResultNumber;
    while (run.state.ScanPosition < run.state.DeviceSectors) ScanChunk(run);
    FinishScan(run, !isStart);
}

void Preview(const ScanControls& controls) {
    EventPump pump;
    pump.PumpNow();
    const std::int64_t k = controls.树型框1->CurrentIndex() < 0 ? kNoEntryIndex : controls.树型框1->CurrentIndex();
    const std::int64_t start = ResultIndexNumber(*controls.代码编辑框1, 2 * k);
    const std::int64_t length = ResultIndexNumber(*controls.代码编辑框1, 2 * k + 1);
    const std::string& drive = TheScanState().SelectedDrive;
    controls.图片框1->SetPicture(length > 0 ? ReadVolumeSectors(drive, start, length) : ByteSet{});
    pump.PumpNow();
}

}  // namespace velkor
