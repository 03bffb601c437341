// The lock one running copy holds on its program directory.
#include "platform/directory_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

TEST(DirectoryLock, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    testing::ScratchDir dir;
    const std::string path = dir.File("velkor.lock");
    bool heldElsewhere = true;
    std::optional<DirectoryLock> first = TryTake(path, heldElsewhere);
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(heldElsewhere);
    EXPECT_FALSE(TryTake(path, heldElsewhere).has_value()) << "a second holder in the same process";
    EXPECT_TRUE(heldElsewhere);
    std::optional<DirectoryLock> moved = std::move(first);
    first.reset();
    EXPECT_FALSE(TryTake(path, heldElsewhere).has_value()) << "moving the lock keeps it held";
    moved.reset();
    EXPECT_TRUE(TryTake(path, heldElsewhere).has_value()) << "letting go frees it";
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

TEST(DirectoryLock, ALockFileThatCannotBeMadeSaysWhyAndIsNotTakenForAnotherHolder) {
    testing::ScratchDir dir;
    bool heldElsewhere = true;
    std::string failure;
    EXPECT_FALSE(DirectoryLock::TryTake(dir.File("missing/velkor.lock"), heldElsewhere, failure).has_value());
    EXPECT_FALSE(heldElsewhere);
    EXPECT_EQ(failure, std::strerror(ENOENT));
}

}  // namespace
}  // namespace velkor
