// The lock against other processes on Linux: flock(1) stands for another copy, and
// a program started while the lock is held must not keep it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/directory_lock.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace velkor {
namespace {

std::optional<DirectoryLock> TryTake(const std::string& path, bool& heldElsewhere) {
    std::string failure;
    return DirectoryLock::TryTake(path, heldElsewhere, failure);
}

// Asks flock(1), another process, to take the lock without waiting: true when it could.
bool AnotherProcessCanTake(const std::string& path) {
    const int status = std::system(("flock --nonblock --conflict-exit-code 99 '" + path + "' true").c_str());
    EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 99)) << status;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(DirectoryLock, OtherProcessesAreRefusedAndProgramsStartedMeanwhileDoNotKeepIt) {
    testing::ScratchDir dir;
    const std::string path = dir.File("velkor.lock");
    bool heldElsewhere = false;
    std::optional<DirectoryLock> lock = TryTake(path, heldElsewhere);
    ASSERT_TRUE(lock.has_value());
    EXPECT_FALSE(AnotherProcessCanTake(path));
    // A validator still running when this copy ends must not hold the directory on its behalf.
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* const argv[] = {sleep, seconds, nullptr};
    pid_t sleeper = 0;
    ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
    lock.reset();
    EXPECT_TRUE(AnotherProcessCanTake(path));
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

}  // namespace
}  // namespace velkor
