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

std::string InProgramDirectory(const char* name) { return ProgramDirectory() + kPathSeparator + name; }

}  // namespace

std::string ValidatorPath() { return InProgramDirectory(kValidatorName); }

std::string ScratchLockPath() { return InProgramDirectory(kScratchLockFile); }

std::int64_t SetValidatorTimeLimit(std::int64_t milliseconds) {
    return std::exchange(gValidatorTimeLimitMs, milliseconds);
}

ValidatorExchange ExchangeWithValidator(ByteView candidate) {
    const std::string verdictPath = InProgramDirectory(kVerdictFile);
    WriteWholeFile(InProgramDirectory(kCandidateFile), candidate);
    // The rejection is in place before picvet runs, so one that dies early rejects.
    WriteWholeFile(verdictPath, BytesOf("0"));
    const ProgramRun run = StartProgramAndWait(ValidatorPath(), gValidatorTimeLimitMs);
    ValidatorExchange exchange;
    exchange.validatorStarted = run.started;
    exchange.timedOut = run.timedOut;
    exchange.failure = run.failure;
    exchange.rejected = ReadWholeFile(verdictPath) == BytesOf("0");
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
