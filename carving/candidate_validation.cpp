#include "carving/candidate_validation.h"

#include <utility>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/window_runtime.h"

namespace velkor {
namespace {

constexpr char kCandidateFile[] = "tem.tem";
constexpr char kVerdictFile[] = "ini.ini";
constexpr char kValidatorName[] = "picvet";
constexpr char kScratchLockFile[] = "velkor.lock";

// Long enough for any real candidate, short enough that a hostile one cannot stall the scan.
std::int64_t gValidatorTimeLimitMs = kValidatorTimeLimitMs;

// Joined with the system's own separator, as these paths also appear in the window's messages.
std::string InProgramDirectory(const std::string& name) { return ProgramDirectory() + kNativeSeparator + name; }

// A validator that cannot be started by exec (a missing library, a broken
// interpreter line) ends with this code from the loader or the shell.
constexpr int kCannotExecuteStatus = 127;

// What picvet's end says about the exchange, in words for the user; empty when it judged.
std::string WhyNotJudged(const ProgramRun& run, bool verdictWritten) {
    if (run.timedOut) {
        const std::int64_t ms = gValidatorTimeLimitMs;
        const Message limit = ms % 1000 == 0 ? Words::tr("%1 秒").Arg(ms / 1000) : Words::tr("%1 毫秒").Arg(ms);
        return Words::tr("运行超过 %1仍未结束，已被终止").Arg(limit).Utf8();
    }
    if (run.signal != 0) {
        return Words::tr("被信号 %1（%2）终止").Arg(run.signal).Arg(run.signalName).Utf8();
    }
    if (run.exitStatus == kCannotExecuteStatus) return Words::tr("无法运行（退出码 127：缺少它需要的库或解释器）").Utf8();
    if (run.exitStatus != 0) return Words::tr("以退出码 %1 结束").Arg(run.exitStatus).Utf8();
    if (!verdictWritten) return Words::tr("结束时没有写出判定文件 ini.ini").Utf8();
    return {};
}

ValidatorExchange ScratchNotWritten(const std::string& path, const std::string& reason) {
    ValidatorExchange exchange;
    exchange.rejected = true;
    exchange.failure =
        Words::tr("无法写入临时文件 %1（%2）").Arg(path, reason).Utf8();
    return exchange;
}

}  // namespace

std::string ValidatorPath() { return InProgramDirectory(std::string(kValidatorName) + kProgramSuffix); }

std::string CandidateFilePath() { return InProgramDirectory(kCandidateFile); }

std::string VerdictFilePath() { return InProgramDirectory(kVerdictFile); }

std::string ScratchLockPath() { return InProgramDirectory(kScratchLockFile); }

std::int64_t SetValidatorTimeLimit(std::int64_t milliseconds) {
    return std::exchange(gValidatorTimeLimitMs, milliseconds);
}

ValidatorExchange ExchangeWithValidator(ByteView candidate) {
    const std::string candidatePath = CandidateFilePath();
    const std::string verdictPath = VerdictFilePath();
    std::string reason;
    if (!WriteWholeFile(candidatePath, candidate, &reason)) return ScratchNotWritten(candidatePath, reason);
    // The rejection is in place before picvet runs, so one that dies early rejects;
    // its stamp tells whether picvet wrote a verdict of its own afterwards.
    const std::optional<FileStamp> preset = WriteBackdatedFile(verdictPath, BytesOf("0"), &reason);
    if (!preset) return ScratchNotWritten(verdictPath, reason);
    const ProgramRun run = StartProgramAndWait(ValidatorPath(), gValidatorTimeLimitMs);
    ValidatorExchange exchange;
    exchange.scratchWritten = true;
    exchange.validatorStarted = run.started;
    exchange.timedOut = run.timedOut;
    if (!run.started) {
        exchange.failure = run.failure;
        exchange.rejected = true;
        return exchange;
    }
    exchange.failure = WhyNotJudged(run, StampOf(verdictPath) != preset);
    exchange.judged = exchange.failure.empty();
    exchange.rejected = !exchange.judged || ReadWholeFile(verdictPath) == BytesOf("0");
    return exchange;
}

ValidatorExchange ValidateCandidate(ScanState& state) {
    ValidatorExchange exchange = ExchangeWithValidator(state.CandidateBytes);
    if (exchange.rejected) state.CandidateSectors = 1;
    return exchange;
}

void MeasureCandidateInProcess(ScanState& state, MeasuringControl& control) {
    control.SetPictureData(state.CandidateBytes);
    bool fails = control.PictureWidth() < 10;
    if (!fails) fails = control.PictureHeight() < 10;
    if (fails) state.CandidateSectors = 1;
    control.SetTextSetting(" ");
    control.SetNumberSetting(1);
}

}  // namespace velkor
