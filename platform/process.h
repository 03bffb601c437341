#pragma once
// Starting a program and waiting for it.
#include <cstdint>
#include <string>

namespace velkor {

struct ProgramRun {
    bool started = false;    // false when the program could not be started at all
    bool timedOut = false;   // true when it was killed for running past the limit
    int exitStatus = -1;     // exit code, or -1 when it did not exit normally
    int signal = 0;          // the signal that ended it, 0 when it exited
    std::string signalName;  // the system's name for that signal, empty when it exited
    std::string failure;     // why it could not be started (empty when it started)
};

// Returns true when this process runs with the administrator's rights (as root).
bool RunsAsAdministrator();

// Starts path with no arguments (never through a shell) and waits until it has
// ended. A limit above 0 kills it after that many milliseconds.
ProgramRun StartProgramAndWait(const std::string& path, std::int64_t limitMilliseconds = 0);

}  // namespace velkor
