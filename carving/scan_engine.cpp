#include "carving/scan_engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "carving/candidate_cut.h"
#include "carving/candidate_validation.h"
#include "carving/picture_walk.h"
#include "carving/walk_ahead.h"
#include "device/scan_state.h"
#include "device/chunk_stream.h"
#include "device/raw_reader.h"
#include "platform/directory_lock.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/save_target.h"
#include "platform/window_runtime.h"
#include "carving/result_tree.h"

namespace velkor {
namespace {

Message CannotScanTitle() { return Words::tr("无法扫描"); }

// Set when the window closes during a scan: the scan ends without any message.
bool gAbandoned = false;

// The long search reads what the chunk pair does not hold in pieces of this many sectors.
constexpr std::int64_t kFarPieceSectors = 20000;

// How long a wait for a chunk lasts before the window's events run again.
constexpr std::chrono::milliseconds kChunkWaitSlice{10};

// Candidates picvet could not judge before it judged any: a validator that fails
// this often from the start is broken, not hit by hostile pictures.
constexpr int kUnjudgedBeforeGivingUp = 3;

// What one run of the button action carries through its loops.
struct ScanRun {
    const ScanControls& controls;
    ScanState& state;
    EventPump pump;
    Message failure;  // set when the scan had to stop because it cannot work
    std::optional<DirectoryLock> scratchLock;  // held from the start of a scan to its end
    bool anyJudged = false;                    // picvet has judged a candidate in this scan
    std::int64_t unjudged = 0;                 // candidates picvet could not judge
    std::string firstUnjudgedWhy{};
    std::int64_t unreadableSectors = 0;        // sectors of the drive that could not be read
    std::int64_t firstUnreadableSector = -1;
    EndSearches searches{};                    // what earlier candidates' end searches found
    std::optional<ChunkStream> stream{};       // reads the drive ahead of the scan
    ByteView pair{};                           // the current chunk and the one behind it, once both are there
    WalkAhead ahead{};                         // the next candidate's walk; reads the current chunk
    std::int64_t slot = 0;                     // the sector slot of the candidate at hand
};

Message DriveName(const std::string& letter) {
    if (const auto volume = CurrentVolume(letter)) {
        return Words::tr("%1:（%2）").Arg(letter, volume->source);
    }
    return Message(letter + ":");
}

Message ScratchFaultText(ScratchFault fault) {
    switch (fault) {
        case ScratchFault::kSymbolicLink: return Words::tr("是一个符号链接");
        case ScratchFault::kNotRegular: return Words::tr("不是普通文件");
        case ScratchFault::kMoreNames: return Words::tr("还有别的文件名（硬链接），写入会一并改动它们");
        case ScratchFault::kNone: break;
    }
    return {};
}

// Returns why the program directory's scratch files cannot be written for a scan of
// source; empty when they can. A scratch name that is not a plain file of ours, or
// that is the very drive being scanned, would have its content destroyed.
Message WhyScratchFilesUnsafe(const std::string& source) {
    for (const std::string& path : {CandidateFilePath(), VerdictFilePath(), ScratchLockPath()}) {
        const ScratchFault fault = ScratchFaultOf(path);
        if (fault != ScratchFault::kNone) {
            return Words::tr("程序目录里的 %1 %2，Velkor 不会写入它。请移走它后再扫描。")
                .Arg(path, ScratchFaultText(fault));
        }
        if (SameFile(path, source)) {
            return Words::tr("正在扫描的 %1 就是程序目录里的临时文件 %2，扫描会覆盖它。请先把它移到别处。")
                .Arg(source, path);
        }
    }
    return {};
}

// Returns why the selected drive is not, or no longer, the one the user chose from
// the list; empty when it still is.
Message WhyDriveChanged(const ScanState& state) {
    const std::string letter = state.SelectedDrive + ":";
    const std::optional<VolumeInfo> now = CurrentVolume(state.SelectedDrive);
    if (!now || !now->identity) {
        return Words::tr("驱动器 %1 已不存在（已被移除或拔出）。请重新选择驱动器。").Arg(letter);
    }
    const std::optional<VolumeInfo>& listed = state.SelectedVolume;
    if (!listed || listed->identity != now->identity || listed->sizeBytes != now->sizeBytes) {
        return Words::tr("驱动器 %1 在选择之后已被更换或改变了大小（现在是 %2）。请重新选择驱动器后再扫描。")
            .Arg(letter, now->description);
    }
    return {};
}

// Returns why an image is too small to hold even one sector; empty for anything else.
Message WhyImageTooSmall(const std::optional<VolumeInfo>& volume) {
    if (!volume || !volume->isImage || volume->sizeBytes >= kSectorSize) return {};
    if (volume->sizeBytes == 0) return Words::tr("映像文件 %1 是空的（0 字节），没有可扫描的内容。").Arg(volume->source);
    return Words::tr("映像文件 %1 只有 %2 字节，不足一个扇区（512 字节），无法扫描。")
        .Arg(volume->source)
        .Arg(volume->sizeBytes);
}

Message WhyProgramDirectoryOnDrive(const std::string& letter) {
    if (!DirectoryLiesOnDrive(ProgramDirectory(), letter)) return {};
    return Words::tr("程序目录 %1 位于正在恢复的驱动器 %2 所在的磁盘上。扫描时写入的临时文件会落在空闲空间上，"
                     "覆盖尚未恢复的照片。请把 Velkor 复制到另一块磁盘或 U 盘，从那里运行。")
        .Arg(ProgramDirectory(), DriveName(letter));
}

// Takes the program directory's scratch files for this scan; returns why it cannot, or an empty text.
Message TakeScratchFiles(std::optional<DirectoryLock>& scratchLock) {
    const std::string directory = ProgramDirectory();
    bool heldElsewhere = false;
    std::string failure;
    scratchLock = DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure);
    if (scratchLock) return {};
    if (heldElsewhere) {
        return Words::tr("另一个 Velkor 正在用程序目录 %1 扫描。两个副本不能共用这里的临时文件，"
                         "请等那次扫描结束，或从另一个目录运行本程序。")
            .Arg(directory);
    }
    return Words::tr("无法锁定程序目录 %1 的临时文件（%2），无法扫描。").Arg(directory, (failure));
}

// Advice that fits why a drive cannot be opened and by whom.
Message AdviceFor(const ReadReport& report, const std::optional<VolumeInfo>& volume) {
    if (!report.denied) return {};
    if (volume && volume->isImage) return Words::tr("请检查映像文件的读取权限。");
    if (RunsAsAdministrator()) {
        return Words::tr("连 root 也被拒绝：在容器或受限的虚拟机里可能无法直接读取磁盘，可以改为扫描磁盘的映像文件。");
    }
    return Words::tr("请以 root 运行，或把用户加入 disk 组（sudo usermod -aG disk $USER，然后重新登录）。");
}

Message WhyDriveUnreadable(const ScanState& state) {
    if (state.SelectedDrive.empty()) return Words::tr("没有选择驱动器。");
    if (Message why = WhyDriveChanged(state); !why.Empty()) return why;
    if (Message why = WhyImageTooSmall(state.SelectedVolume); !why.Empty()) return why;
    ReadReport report;
    ReadVolumeSectors(state.SelectedDrive, 0, 1, &report);
    if (!report.opened) {
        return Words::tr("无法打开驱动器 %1：%2。%3")
            .Arg(DriveName(state.SelectedDrive), report.reason, AdviceFor(report, state.SelectedVolume));
    }
    if (state.DeviceSectors <= 0) {
        return Words::tr("无法确定驱动器 %1 的大小，无法扫描。").Arg(DriveName(state.SelectedDrive));
    }
    return {};
}

Message WhyValidationCannotWork(const ScanState& state) {
    if (!IsExecutableFile(ValidatorPath())) {
        return Words::tr("找不到校验程序 %1，或它不可执行。").Arg(ValidatorPath());
    }
    if (!IsDirectoryWritable(ProgramDirectory())) {
        return Words::tr("程序目录 %1 不可写，无法存放临时文件。").Arg(ProgramDirectory());
    }
    if (Message why = WhyProgramDirectoryOnDrive(state.SelectedDrive); !why.Empty()) return why;
    return WhyScratchFilesUnsafe(state.SelectedVolume ? state.SelectedVolume->source : std::string());
}

// Returns why a scan of the selected drive cannot work, or an empty text; when it
// can, scratchLock holds the scratch files for it.
Message WhyScanCannotStart(const ScanState& state, std::optional<DirectoryLock>& scratchLock) {
    if (Message why = WhyDriveUnreadable(state); !why.Empty()) return why;
    if (Message why = WhyValidationCannotWork(state); !why.Empty()) return why;
    return TakeScratchFiles(scratchLock);
}

void StartScan(ScanRun& run) {
    const ScanControls& c = run.controls;
    c.按钮1->SetText(StopCaption());
    run.state.ScanPosition = 0;
    run.state.ScannedDrive = run.state.SelectedDrive;
    run.state.ScannedIdentity = run.state.SelectedVolume ? run.state.SelectedVolume->identity : std::nullopt;
    c.驱动器框1->SetEnabled(false);
    c.树型框1->SetCurrentIndex(kNoEntryIndex);
    Preview(c);
    ClearResultTree(*c.树型框1);
    c.代码编辑框1->Clear();
}

void StopScan(ScanRun& run) {
    const ScanControls& c = run.controls;
    c.按钮1->SetText(ScanCaption());
    run.state.ScanPosition = StopPositionFor(run.state.DeviceSectors);
    c.驱动器框1->SetEnabled(true);
    c.进度条1->SetValue(100);
}

// Lists the current candidate; a photo whose data does not close cleanly is shown as
// possibly damaged, and listed, ticked and saved all the same.
void ListPicture(ScanRun& run, std::int64_t start, const Message& damage) {
    ScanState& s = run.state;
    TreeBox& tree = *run.controls.树型框1;
    AppendResultEntry(tree, std::to_string(s.NameCounter) + ".jpg");
    if (!damage.Empty()) tree.MarkDamaged(tree.Count() - 1, damage);
    ++s.NameCounter;
    AppendResultLocation(*run.controls.代码编辑框1, start, s.CandidateSectors);
}

void StopForFailure(ScanRun& run, const Message& failure) {
    if (run.failure.Empty()) run.failure = failure;
    run.state.ScanPosition = StopPositionFor(run.state.DeviceSectors);
}

// Counts a candidate picvet could not judge; a validator that judges none of the
// first candidates, or hangs before its first verdict, stops the scan, so that a
// broken validator costs the user one time limit at most, not an empty result.
void NoteUnjudged(ScanRun& run, const ValidatorExchange& exchange) {
    if (run.unjudged++ == 0) run.firstUnjudgedWhy = exchange.failure;
    if (run.anyJudged || (!exchange.timedOut && run.unjudged < kUnjudgedBeforeGivingUp)) return;
    StopForFailure(run, Words::tr("校验程序 %1 无法判定候选照片：它%2。扫描已停止；"
                                  "请检查 picvet 是否完整（重新构建或安装 Velkor）。")
                            .Arg(ValidatorPath(), exchange.failure));
}

// The bytes of the current chunk from the sector slot (counted from 1) on.
ByteView ChunkTail(const ScanState& s, std::int64_t slot) {
    return s.CurrentChunk.subspan(static_cast<std::size_t>((slot - 1) * kSectorSize));
}

// Starts the walk of the next candidate of the chunk, to run while the validator judges
// the one at hand. Only then: a thread per candidate would cost a run of starts without
// ends far more than the walks themselves.
void WalkNextCandidate(ScanRun& run) {
    const std::int64_t slotCount = static_cast<std::int64_t>(run.state.CurrentChunk.size()) / kSectorSize;
    for (std::int64_t next = run.slot + 1; next <= slotCount; ++next) {
        const ByteView tail = ChunkTail(run.state, next);
        if (BeginsCandidate(tail.first(std::min<std::size_t>(tail.size(), kSectorSize)))) return run.ahead.Start(tail);
    }
}

enum class CutVerdict { kAccepted, kNotListed, kNoCut };

// Judges the cut of the first sectors of reach: kAccepted when picvet accepts it.
CutVerdict JudgeCut(ScanRun& run, ByteView reach, std::int64_t sectors) {
    ScanState& s = run.state;
    s.CandidateSectors = sectors;
    s.CandidateBytes = CutBytes(reach, sectors);
    WalkNextCandidate(run);
    const ValidatorExchange exchange = ValidateCandidate(s);
    if (!exchange.scratchWritten) {
        StopForFailure(run, Message(exchange.failure) + Words::tr("，扫描已停止。"));
    } else if (!exchange.validatorStarted) {
        StopForFailure(run, Words::tr("校验程序 %1 无法启动（%2），扫描已停止。")
                                .Arg(ValidatorPath(), exchange.failure));
    } else if (!exchange.judged) {
        NoteUnjudged(run, exchange);
    } else {
        run.anyJudged = true;
    }
    return exchange.judged && !exchange.rejected ? CutVerdict::kAccepted : CutVerdict::kNotListed;
}

// Judges the one cut worth judging, if there is one. Every longer cut holds the same
// headers and would get the same verdict, and a cut of five sectors or less is not
// listed whatever it gets, so such a cut costs no validator run.
CutVerdict JudgeFirstCut(ScanRun& run, ByteView reach, std::optional<std::int64_t> sectors) {
    if (!sectors) return CutVerdict::kNoCut;
    if (*sectors > kMinimumListedSectors) return JudgeCut(run, reach, *sectors);
    run.state.CandidateBytes = CutBytes(reach, *sectors);
    run.state.CandidateSectors = *sectors;
    return CutVerdict::kNotListed;
}

// Notes what a read of the chunk at firstSector could not deliver of the drive's
// sectors; a drive that is gone stops the scan.
void NoteRead(ScanRun& run, const ReadReport& report, std::int64_t firstSector) {
    const ScanState& s = run.state;
    if (!report.opened || report.gone) {
        StopForFailure(run, Words::tr("驱动器 %1 在扫描中已无法读取（%2），扫描已停止。已找到的照片仍在列表中。")
                                .Arg(DriveName(s.SelectedDrive), report.reason));
        return;
    }
    const std::int64_t wanted = std::clamp<std::int64_t>(s.DeviceSectors - firstSector, 0, kChunkSectors);
    const std::int64_t missing = report.MissingOf(wanted);
    if (missing == 0) return;
    run.unreadableSectors += missing;
    if (run.firstUnreadableSector < 0) {
        run.firstUnreadableSector = report.firstUnreadableSector >= 0 ? report.firstUnreadableSector
                                                                      : firstSector + report.deliveredBytes / kSectorSize;
    }
}

bool StopRequested(const ScanState& s) { return s.ScanPosition > s.DeviceSectors; }

// Waits for the chunk at start to arrive, letting the window's events run meanwhile so
// that Stop and closing are answered at once; false when the scan was stopped first.
bool AwaitChunk(ScanRun& run, std::int64_t start) {
    run.stream->Fetch(start);
    while (!run.stream->Arrived(start, kChunkWaitSlice)) {
        run.pump.PumpNow();
        if (StopRequested(run.state)) return false;
    }
    return true;
}

// The 100000 sectors from the candidate's first sector: the rest of this chunk
// followed by the start of the next one, which the stream reads ahead and keeps for
// its own turn, so a photo straddling the boundary costs no second read. Empty when
// the volume cannot be opened, or when the scan was stopped while the next chunk came.
ByteView LongSearchBlock(ScanRun& run, std::size_t offset) {
    ScanState& s = run.state;
    if (run.pair.empty()) {
        const std::int64_t next = s.ScanPosition + kChunkSectors;
        if (!AwaitChunk(run, next) || !run.stream->ReportOf(next).opened) return {};
        run.pair = run.stream->From(s.ScanPosition, 0, static_cast<std::size_t>(2 * kChunkBytes));
    }
    return run.pair.subspan(offset, static_cast<std::size_t>(kChunkBytes));
}

// The length a listed photo is kept at. The accepted cut ends at the first end marker
// the validator accepted, which on a reused card often lies in a later photo (its
// zero-padded thumbnail), so the cut is shortened to the sector holding the end
// marker that closes the picture itself, and reaches on over what the file declares
// behind it (MPF images, a motion photo's video) as far as reach goes. When the walk
// does not close the picture inside the cut, the cut stands.
struct OwnLength {
    std::int64_t sectors = 0;
    Message damage;  // why the photo may be incomplete; empty when its data closes cleanly
};

// What the walk of a photo's structure says of its data, in words for the tooltip.
Message DamageOf(const PictureWalk& walk, std::int64_t cutBytes) {
    switch (walk.end) {
        case PictureEnd::kComplete:
            return walk.eoiEnd <= cutBytes ? Message() : Words::tr("可能不完整：照片的结尾在保存的长度之外");
        case PictureEnd::kRunsIntoAnotherPicture: return Words::tr("可能不完整：照片的数据中途进入了另一张照片（文件可能有碎片）");
        case PictureEnd::kImpossibleMarker: return Words::tr("可能不完整：照片的数据中有不该出现的标记（文件可能有碎片或损坏）");
        case PictureEnd::kDataEnds: return Words::tr("可能不完整：照片的数据在结束标记之前就断了");
    }
    return {};
}

OwnLength OwnSectors(const PictureWalk& walk, ByteView reach, std::int64_t cutSectors) {
    const Message damage = DamageOf(walk, cutSectors * kSectorSize);
    if (!damage.Empty()) return {cutSectors, damage};
    const std::int64_t end = std::min<std::int64_t>(std::max(walk.eoiEnd, walk.declaredEnd),
                                                    static_cast<std::int64_t>(reach.size()));
    return {(end + kSectorSize - 1) / kSectorSize, {}};
}

// The drive's bytes from sector at on, at most sectors of them: a view of the chunk pair
// where it holds them, otherwise read into store (at most kFarPieceSectors). Empty when
// they cannot be read.
ByteView FarPiece(ScanRun& run, std::int64_t at, std::int64_t sectors, ByteSet& store) {
    const ScanState& s = run.state;
    const std::int64_t inPair = s.ScanPosition + static_cast<std::int64_t>(run.pair.size()) / kSectorSize - at;
    if (at >= s.ScanPosition && inPair > 0) {
        const auto from = static_cast<std::size_t>((at - s.ScanPosition) * kSectorSize);
        return run.pair.subspan(from, static_cast<std::size_t>(std::min(inPair, sectors) * kSectorSize));
    }
    ReadReport report;
    store = ReadVolumeSectors(s.SelectedDrive, at, std::min(sectors, kFarPieceSectors), &report);
    if (report.gone) store.clear();
    return store;
}

// Where the first end marker at or after the drive's byte from begins, when it lies
// wholly before the byte limit; -1 otherwise. Reads on piece by piece behind what earlier
// searches covered, so consecutive starts without an end read and search each byte once.
std::int64_t FarEndMarker(ScanRun& run, std::int64_t from, std::int64_t limit) {
    MarkerSearch& search = run.searches.endMarkers;
    for (;;) {
        const MarkerSearch::Known known = search.KnownFrom(from);
        if (known.found >= 0) return known.found + search.PatternSize() <= limit ? known.found : -1;
        if (known.clearTo + search.PatternSize() > limit) return -1;
        const std::int64_t sector = known.clearTo / kSectorSize;
        ByteSet store;
        const ByteView piece = FarPiece(run, sector, kFarPieceSectors, store);
        if (piece.empty()) return -1;
        if (search.Find(piece, sector * kSectorSize, from) < 0 && search.KnownFrom(from).clearTo == known.clearTo) return -1;
    }
}

// Makes CandidateBytes the first sectors of the drive from the candidate at offset of
// the chunk pair, which holds only the start of them; false when the rest cannot be read.
bool LoadLongCandidate(ScanRun& run, std::size_t offset, std::int64_t sectors) {
    ScanState& s = run.state;
    const auto bytes = static_cast<std::size_t>(sectors * kSectorSize);
    const ByteView fromPair = run.pair.subspan(offset);
    ByteSet& store = s.CandidateStore;
    s.CandidateBytes = {};
    store.clear();
    store.reserve(bytes);
    store.assign(fromPair.begin(), fromPair.begin() + static_cast<std::ptrdiff_t>(std::min(bytes, fromPair.size())));
    std::int64_t next = s.ScanPosition + static_cast<std::int64_t>(run.pair.size()) / kSectorSize;
    while (store.size() < bytes) {
        const auto wanted = static_cast<std::int64_t>(bytes - store.size() + kSectorSize - 1) / kSectorSize;
        ByteSet piece;
        const ByteView got = FarPiece(run, next, wanted, piece);
        if (got.empty()) return false;
        const std::size_t taken = std::min(got.size(), bytes - store.size());
        store.insert(store.end(), got.begin(), got.begin() + static_cast<std::ptrdiff_t>(taken));
        next += static_cast<std::int64_t>(got.size()) / kSectorSize;
    }
    s.CandidateBytes = store;
    return true;
}

// A photo whose end lies beyond the 100000 sectors from its start (large-sensor cameras
// write fine JPEGs of 40 to 80 MB) is sought on up to kLongestPhotoSectors; only its
// own bytes are held besides the chunk pair. block is the long-search block, which holds
// its headers.
CutVerdict JudgeLongCut(ScanRun& run, std::int64_t start, std::size_t offset, CutFinder& block) {
    const ScanState& s = run.state;
    const std::int64_t startAt = start * kSectorSize;
    const std::int64_t limit = std::min(start + kLongestPhotoSectors, s.DeviceSectors) * kSectorSize;
    const std::int64_t q = FarEndMarker(run, startAt + kChunkBytes - (run.searches.endMarkers.PatternSize() - 1), limit);
    if (q < 0 || !block.HeadersEndWithin()) return CutVerdict::kNoCut;
    const std::int64_t sectors = CutSectorsForMarkerAt(q - startAt);
    if (!LoadLongCandidate(run, offset, sectors)) return CutVerdict::kNoCut;
    return JudgeCut(run, run.state.CandidateStore, sectors);
}

void HandleCandidate(ScanRun& run, std::int64_t slot) {
    ScanState& s = run.state;
    const std::int64_t start = s.ScanPosition + slot - 1;
    const auto offset = static_cast<std::size_t>((slot - 1) * 512);
    const ByteView tail = ChunkTail(s, slot);
    s.CandidateSectors = 0;
    s.CandidateBytes = {};
    run.slot = slot;
    CutFinder tailCuts(tail, start * kSectorSize, run.searches, run.ahead.Take(tail));
    std::optional<CutFinder> blockCuts;
    CutFinder* finder = &tailCuts;
    ByteView reach = tail;
    bool longCut = false;
    CutVerdict verdict = JudgeFirstCut(run, tail, tailCuts.FirstCut());
    if (verdict == CutVerdict::kNoCut) {
        // A photo whose end lies past this chunk is sought in a block read from its own first sector.
        reach = LongSearchBlock(run, offset);
        if (StopRequested(s)) return;
        if (tail.size() < reach.size()) {
            finder = &blockCuts.emplace(reach, start * kSectorSize, run.searches);
            verdict = JudgeFirstCut(run, reach, finder->FirstCut());
        }
        if (verdict == CutVerdict::kNoCut && reach.size() == static_cast<std::size_t>(kChunkBytes)) {
            verdict = JudgeLongCut(run, start, offset, *finder);
            longCut = true;
            reach = s.CandidateStore;
        }
    }
    // Whether a photo is listed is decided on the accepted cut; only its length follows the picture.
    if (verdict == CutVerdict::kAccepted && s.CandidateSectors > kMinimumListedSectors) {
        const OwnLength own = OwnSectors(longCut ? WalkPicture(reach) : finder->Walk(), reach, s.CandidateSectors);
        s.CandidateSectors = own.sectors;
        ListPicture(run, start, own.damage);
    }
}

// Makes CurrentChunk the chunk at ScanPosition and sets the one behind it reading;
// false when the scan was stopped while the chunk came.
bool LoadCurrentChunk(ScanRun& run) {
    ScanState& s = run.state;
    s.CurrentChunk = {};
    run.pair = {};
    if (!AwaitChunk(run, s.ScanPosition)) return false;
    const ReadReport report = run.stream->ReportOf(s.ScanPosition);
    NoteRead(run, report, s.ScanPosition);
    if (report.opened) s.CurrentChunk = run.stream->From(s.ScanPosition, 0, static_cast<std::size_t>(kChunkBytes));
    const std::int64_t next = s.ScanPosition + kChunkSectors;
    // The next chunk takes the slot of the one before this, where the last candidate may lie.
    HoldCandidate(s, s.CandidateBytes);
    if (next < s.DeviceSectors) run.stream->Fetch(next);
    return true;
}

void ScanChunk(ScanRun& run) {
    ScanState& s = run.state;
    s.SectorsPerChunk = static_cast<std::int32_t>(kChunkSectors);
    const bool loaded = LoadCurrentChunk(run);
    const std::int64_t slotsRead = static_cast<std::int64_t>(s.CurrentChunk.size()) / 512;
    for (std::int64_t i = 1; loaded && i <= s.SectorsPerChunk; ++i) {
        run.pump.Pump();
        if (StopRequested(s)) break;
        if (i > slotsRead) continue;
        if (BeginsCandidate(s.CurrentChunk.subspan(static_cast<std::size_t>((i - 1) * 512), 512))) {
            HandleCandidate(run, i);
        }
    }
    // The chunk's slot is read into again once the scan moves on.
    run.ahead.Drop();
    s.ScanPosition += kChunkSectors;
    run.pump.Pump();
}

// The completion message: "扫描完成" alone when everything could be read and judged,
// followed by a count of what could not otherwise.
Message CompletionText(const ScanRun& run) {
    Message text = Words::tr("扫描完成");
    if (run.unjudged > 0) {
        text += Words::tr("\n有 %1 个候选照片无法判定：校验程序 picvet %2。")
                    .Arg(run.unjudged)
                    .Arg(run.firstUnjudgedWhy);
    }
    if (run.unreadableSectors > 0) {
        text += Words::tr("\n有 %1 个扇区无法读取（按 0 处理，其中的照片可能找不到），第一个无法读取的范围从第 %2 扇区开始。")
                    .Arg(run.unreadableSectors)
                    .Arg(run.firstUnreadableSector);
    }
    return text;
}

void TellOutcome(const ScanRun& run) {
    Window* window = run.controls.window;
    if (!run.failure.Empty()) {
        ShowWarning(window, run.failure, CannotScanTitle());
    } else if (run.unjudged > 0 || run.unreadableSectors > 0) {
        ShowWarning(window, CompletionText(run), Words::tr("完成"));
    } else {
        ShowInformation(window, CompletionText(run), Words::tr("完成"));
    }
}

void FinishScan(ScanRun& run, bool wasStop) {
    const ScanControls& c = run.controls;
    SelectAllEntries(*c.树型框1);
    if (!wasStop && !gAbandoned) TellOutcome(run);
    c.驱动器框1->SetEnabled(true);
    c.按钮1->SetText(ScanCaption());
    HoldCandidate(run.state, run.state.CandidateBytes);
    run.state.CurrentChunk = {};
    run.pair = {};
    run.stream.reset();
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
    const bool isStart = controls.按钮1->Text() == ScanCaption().Utf8();
    FailWritesBeyondFileSizeLimit();
    if (isStart) {
        const Message reason = WhyScanCannotStart(run.state, run.scratchLock);
        if (!reason.Empty()) {
            ShowWarning(controls.window, reason, CannotScanTitle());
            return;
        }
        run.stream.emplace(run.state.SelectedDrive);
        if (!run.stream->Valid()) {
            ShowWarning(controls.window, Words::tr("无法为扫描分配内存（需要两块各 51,200,000 字节的缓冲区），无法扫描。"),
                        CannotScanTitle());
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
    // The listed sectors belong to the drive they were found on, whatever is selected now.
    const bool readable = length > 0 && WhyResultsDriveIsGone().empty();
    const std::string& drive = TheScanState().ScannedDrive;
    controls.图片框1->SetPicture(readable ? ReadVolumeSectors(drive, start, length) : ByteSet{});
    pump.PumpNow();
}

std::string WhyResultsDriveIsGone() {
    const ScanState& s = TheScanState();
    const std::optional<VolumeInfo> now = CurrentVolume(s.ScannedDrive);
    if (now && now->identity && now->identity == s.ScannedIdentity) return {};
    return Words::tr("扫描时的驱动器 %1: 已被移除或更换").Arg(s.ScannedDrive).Utf8();
}

}  // namespace velkor
