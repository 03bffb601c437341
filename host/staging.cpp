#include "host/staging.h"

#include <linux/magic.h>
#include <signal.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "host/own_directory.h"

namespace velkor::host {
namespace {

namespace fs = std::filesystem;

bool LiesInMemory(const std::string& directory) {
    struct statfs info {};
    if (statfs(directory.c_str(), &info) != 0) return false;
    return info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC;
}

std::vector<std::string> MemoryDirectoryCandidates() {
    std::vector<std::string> candidates;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        candidates.emplace_back(runtime);
    }
    // pkexec clears the environment: root's private place in memory is /run.
    if (geteuid() == 0) candidates.emplace_back("/run");
    candidates.emplace_back("/dev/shm");
    return candidates;
}

bool Stage(const std::string& from, const std::string& to, const std::string& launcher) {
    for (const std::string& name : {std::string("libvelkor.so"), std::string("picvet"), launcher}) {
        std::error_code error;
        if (!fs::copy_file(fs::path(from) / name, fs::path(to) / name, error)) return false;
        if (name == "libvelkor.so") continue;
        fs::permissions(fs::path(to) / name, fs::perms::owner_all, error);
        if (error) return false;
    }
    return true;
}

// Passes the signals that end a program on to the staged copy, so that the launcher
// outlives it and removes its directory.
pid_t gChild = 0;
void PassOn(int signal) {
    if (gChild > 0) kill(gChild, signal);
}

int RunAndWait(const std::string& program, char** argv) {
    const pid_t child = fork();
    if (child < 0) return 127;
    if (child == 0) {
        execv(program.c_str(), argv);
        std::perror(program.c_str());
        _exit(127);
    }
    gChild = child;
    struct sigaction passOn {};
    passOn.sa_handler = PassOn;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &passOn, nullptr);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

std::string MakePrivateMemoryDirectory() {
    for (const std::string& base : MemoryDirectoryCandidates()) {
        if (!LiesInMemory(base)) continue;
        std::string pattern = base + "/velkor-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) return pattern;
    }
    return {};
}

std::optional<int> RunStagedWhenInstalled(char** argv) {
    const std::string own = OwnDirectory();
    // Root may write anywhere, so the package marks its directory as well.
    const bool installed = access((own + "/" + kInstalledMark).c_str(), F_OK) == 0;
    if (!installed && access(own.c_str(), W_OK) == 0) return std::nullopt;
    const std::string staged = MakePrivateMemoryDirectory();
    if (staged.empty()) {
        std::fprintf(stderr, "velkor: %s is read-only and no private directory in memory could be made "
                             "($XDG_RUNTIME_DIR, /run or /dev/shm on tmpfs): scans cannot work\n", own.c_str());
        return std::nullopt;
    }
    const std::string launcher = fs::path(ExecutablePath()).filename();
    int status = 127;
    if (Stage(own, staged, launcher)) {
        status = RunAndWait(staged + "/" + launcher, argv);
    } else {
        std::fprintf(stderr, "velkor: cannot copy Velkor into %s\n", staged.c_str());
    }
    std::error_code error;
    fs::remove_all(staged, error);
    return status;
}

}  // namespace velkor::host
