#pragma once
// Judging a candidate through the validator program, and the in-process measuring entry.
#include <cstdint>
#include <string>

#include "device/scan_state.h"
#include "platform/bytes.h"

namespace velkor {

class MeasuringControl;

// A validator that runs longer than this is killed; its pre-set rejection stands.
inline constexpr std::int64_t kValidatorTimeLimitMs = 10000;

struct ValidatorExchange {
    bool scratchWritten = false;    // false: tem.tem or ini.ini could not be written (failure says which and why)
    bool validatorStarted = false;  // false: picvet could not be started (failure says why)
    bool timedOut = false;          // picvet ran past the time limit and was killed
    bool judged = false;            // picvet ended normally and wrote a verdict in this exchange
    bool rejected = false;          // the verdict file held exactly "0", or picvet could not judge
    std::string failure;            // what went wrong, in words for the user; empty when judged
};

// Sets how long picvet may run before it is killed (kValidatorTimeLimitMs until
// changed); returns the limit it replaces.
std::int64_t SetValidatorTimeLimit(std::int64_t milliseconds);

// The validator program's path in the program directory.
std::string ValidatorPath();

// The file in the program directory whose lock a scan holds while it uses the scratch files.
std::string ScratchLockPath();

// The scratch files of the exchange in the program directory, and the lock that guards them.
std::string CandidateFilePath();
std::string VerdictFilePath();

// Writes candidate to tem.tem, pre-writes "0" to ini.ini, runs picvet and reads the
// verdict back. Only the single byte "0" rejects; a picvet that could not judge
// (killed by a signal, failed, timed out, or ended without writing) rejects too.
ValidatorExchange ExchangeWithValidator(ByteView candidate);

// Judges CandidateBytes through the validator: a rejection sets CandidateSectors to 1.
ValidatorExchange ValidateCandidate(ScanState& state);

// Measures CandidateBytes in process with control: a picture below 10 x 10 sets
// CandidateSectors to 1. Afterwards control is reset (text " ", number 1).
void MeasureCandidateInProcess(ScanState& state, MeasuringControl& control);

}  // namespace velkor
