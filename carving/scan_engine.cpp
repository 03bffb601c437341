#include "carving/scan_engine.h"

#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <set>

#include "carving/candidate_validation.h"
#include "carving/scan_state.h"
#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "shell/result_tree.h"

namespace velkor {
namespace {

const ByteSet kStartSignature = {0xFF, 0xD8, 0xFF};
const ByteSet kEndMarker = {0xFF, 0xD9, 0x00, 0x00};
const ByteSet kBareEnd = {0xFF, 0xD9};
const QString kCannotScanTitle = QStringLiteral("无法扫描");

// Set when the window closes during a scan: the scan ends without any message.
bool gAbandoned = false;

// What one run of the button action carries through its loops.
struct ScanRun {
    const ScanControls& controls;
    ScanState& state;
    GrowableBuffer longSearch;
    EventPump pump;
    QString failure;  // set when the scan had to stop because it cannot work
};

QString DriveName(const std::string& letter) {
    for (const VolumeInfo& volume : ListVolumes()) {
        if (volume.letter == letter) {
            return QStringLiteral("%1:（%2）").arg(QString::fromStdString(letter), QString::fromStdString(volume.source));
        }
    }
    return QString::fromStdString(letter) + ":";
}

// Returns why a scan of the selected drive cannot work, or an empty text.
QString WhyScanCannotStart(const ScanState& state) {
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
    return {};
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

// Judges the cut of the first sectors of reach; returns true when the validator accepts it.
bool JudgeCut(ScanRun& run, ByteView reach, std::int64_t sectors) {
    ScanState& s = run.state;
    const auto bytes = std::min<std::uint64_t>(static_cast<std::uint64_t>(sectors) * 512, reach.size());
    s.CandidateSectors = sectors;
    s.CandidateBytes.assign(reach.begin(), reach.begin() + static_cast<std::ptrdiff_t>(bytes));
    const ValidatorExchange exchange = ValidateCandidate(s);
    if (!exchange.validatorStarted) {
        run.failure = QStringLiteral("校验程序 %1 无法启动（%2），扫描已停止。")
                          .arg(QString::fromStdString(ValidatorPath()), QString::fromStdString(exchange.failure));
    }
    return exchange.validatorStarted && !exchange.rejected;
}

// The cut lengths to try in reach, in order: the first end marker, further end
// markers, then bare FF D9 ends; lengths already in tried are skipped.
std::vector<std::int64_t> CutsWithin(ByteView reach, const std::set<std::int64_t>& tried) {
    std::vector<std::int64_t> cuts;
    std::set<std::int64_t> seen = tried;
    auto collect = [&](const ByteSet& marker, int wanted) {
        int taken = 0;
        for (std::int64_t q = FindBytes(reach, marker); q >= 0 && taken < wanted; q = FindBytes(reach, marker, q + 1)) {
            if (seen.insert(CutSectorsForMarkerAt(q)).second) {
                cuts.push_back(CutSectorsForMarkerAt(q));
                ++taken;
            }
        }
    };
    collect(kEndMarker, 1 + kFurtherMarkerCuts);
    collect(kBareEnd, kBareEndCuts);
    return cuts;
}

// Tries the cuts of reach until one is accepted; true when one was.
bool JudgeCutsWithin(ScanRun& run, ByteView reach, std::set<std::int64_t>& tried) {
    for (const std::int64_t sectors : CutsWithin(reach, tried)) {
        tried.insert(sectors);
        if (JudgeCut(run, reach, sectors)) return true;
        if (!run.failure.isEmpty()) return false;
    }
    return false;
}

void HandleCandidate(ScanRun& run, std::int64_t slot) {
    ScanState& s = run.state;
    const std::int64_t start = s.ScanPosition + slot - 1;
    const ByteView tail = ByteView(s.CurrentChunk).subspan(static_cast<std::size_t>((slot - 1) * 512));
    std::set<std::int64_t> tried;
    s.CandidateSectors = 0;
    s.CandidateBytes.clear();
    bool accepted = JudgeCutsWithin(run, tail, tried);
    // A photo whose end lies past this chunk is sought in a block read from its own first sector.
    if (!accepted && run.failure.isEmpty() && static_cast<std::int64_t>(tail.size()) < kChunkBytes) {
        run.longSearch.Clear();
        run.longSearch.Append(ReadVolumeChunk(s.SelectedDrive, start));
        accepted = JudgeCutsWithin(run, run.longSearch.View(), tried);
        run.longSearch.Clear();
    }
    if (!accepted && !tried.empty()) s.CandidateSectors = 1;
    if (accepted && s.CandidateSectors > kMinimumListedSectors) ListPicture(run, start);
}

bool StopRequested(const ScanState& s) { return s.ScanPosition > s.DeviceSectors; }

void ScanChunk(ScanRun& run) {
    ScanState& s = run.state;
    s.CurrentChunk = ReadVolumeChunk(s.SelectedDrive, s.ScanPosition);
    s.SectorsPerChunk = static_cast<std::int32_t>(kChunkSectors);
    const std::int64_t slotsRead = static_cast<std::int64_t>(s.CurrentChunk.size()) / 512;
    for (std::int64_t i = 1; i <= s.SectorsPerChunk; ++i) {
        run.pump.Pump();
        if (StopRequested(s)) break;
        if (i > slotsRead) continue;
        const auto* sector = s.CurrentChunk.data() + (i - 1) * 512;
        if (std::equal(kStartSignature.begin(), kStartSignature.end(), sector)) {
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
        const QString reason = WhyScanCannotStart(run.state);
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
