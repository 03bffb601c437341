#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace velkor {
namespace {

// Waits for pid to end and notes how it ended in run.
void ReapBlocking(pid_t pid, ProgramRun& run) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return;
    }
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (run.signal != 0) run.signalName = strsignal(run.signal);
}

// Waits up to limit; returns false when the child is still running then.
bool WaitForExit(pid_t pid, std::int64_t limitMilliseconds) {
    UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd) return true;  // no pidfd: fall back to an unbounded wait
    pollfd entry{pidfd.get(), POLLIN, 0};
    for (;;) {
        const int ready = poll(&entry, 1, static_cast<int>(limitMilliseconds));
        if (ready < 0 && errno == EINTR) continue;
        return ready != 0;
    }
}

}  // namespace

bool RunsAsAdministrator() { return geteuid() == 0; }

ProgramRun StartProgramAndWait(const std::string& path, std::int64_t limitMilliseconds) {
    ProgramRun run;
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ);
    if (error != 0) {
        run.failure = std::strerror(error);
        return run;
    }
    run.started = true;
    if (limitMilliseconds > 0 && !WaitForExit(pid, limitMilliseconds)) {
        kill(pid, SIGKILL);
        run.timedOut = true;
    }
    ReapBlocking(pid, run);
    return run;
}

}  // namespace velkor
