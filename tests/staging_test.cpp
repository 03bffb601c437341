// An installed Velkor runs from a private copy in memory: its own directory takes no
// scratch file, and the copy is gone once the launcher ends, however the window ended.
#include "host/staging.h"

#include <gtest/gtest.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

bool LiesInMemory(const std::string& path) {
    struct statfs info {};
    return statfs(path.c_str(), &info) == 0 && (info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC);
}

std::vector<std::string> NamesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A runtime directory of the test's own in /dev/shm, set as $XDG_RUNTIME_DIR while it lives.
class RuntimeDirectory {
public:
    RuntimeDirectory() {
        char pattern[] = "/dev/shm/velkor-test-XXXXXX";
        path_ = mkdtemp(pattern) != nullptr ? pattern : "";
        const char* previous = std::getenv("XDG_RUNTIME_DIR");
        previous_ = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~RuntimeDirectory() {
        if (previous_) {
            setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::optional<std::string> previous_;
};

TEST(Staging, APrivateDirectoryIsMadeInMemoryAndNeverOnADisk) {
    RuntimeDirectory runtime;
    ASSERT_TRUE(LiesInMemory(runtime.Path())) << "/dev/shm is no tmpfs here";
    const std::string made = host::MakePrivateMemoryDirectory();
    ASSERT_EQ(made.rfind(runtime.Path() + "/velkor-", 0), 0u) << made;
    struct stat info {};
    ASSERT_EQ(stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, geteuid());
    // A runtime directory that lies on a disk is passed over for a place in memory.
    const ScratchDir onDisk;
    if (LiesInMemory(onDisk.Path())) GTEST_SKIP() << "the temporary directory is a tmpfs here";
    setenv("XDG_RUNTIME_DIR", onDisk.Path().c_str(), 1);
    const std::string elsewhere = host::MakePrivateMemoryDirectory();
    EXPECT_TRUE(LiesInMemory(elsewhere)) << elsewhere;
    EXPECT_TRUE(NamesIn(onDisk.Path()).empty());
    fs::remove(made);
    fs::remove(elsewhere);
}

// The installed layout: the launcher, the library, the validator and the package's mark
// in a directory nobody may write to.
class InstalledLayout : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"velkor-autoscan", "libvelkor.so", "picvet"}) testing::CopyDeliverable(name, installed_.Path());
        ASSERT_TRUE(WriteWholeFile(installed_.File(host::kInstalledMark), BytesOf("installed\n")));
        card_ = media_.File("card.img");
        testing::MakeThreePictureCard(card_);
    }
    void TearDown() override { chmod(installed_.Path().c_str(), 0755); }
    void Seal() { ASSERT_EQ(chmod(installed_.Path().c_str(), 0555), 0); }

    ScratchDir installed_;
    ScratchDir media_;
    ScratchDir out_;
    std::string card_;
};

TEST_F(InstalledLayout, RunsFromMemoryWritesNothingBesideItselfAndLeavesNothingBehind) {
    RuntimeDirectory runtime;
    const std::vector<std::string> before = NamesIn(installed_.Path());
    Seal();
    const testing::CommandResult run =
        testing::RunCommand("'" + installed_.File("velkor-autoscan") + "' '" + card_ + "' '" + out_.Path() + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"saved\": 3"), std::string::npos) << run.output;
    EXPECT_EQ(NamesIn(installed_.Path()), before) << "no scratch file beside the installed files";
    EXPECT_TRUE(NamesIn(runtime.Path()).empty()) << "the private copy is removed";
}

// The window dies (killed while the validator hangs): the launcher outlives it, says
// so in its status, and removes the private copy all the same.
TEST_F(InstalledLayout, APrivateCopyWhoseWindowWasKilledIsRemovedAllTheSame) {
    RuntimeDirectory runtime;
    ASSERT_TRUE(WriteWholeFile(installed_.File("picvet"), BytesOf("#!/bin/sh\nexec sleep 30\n")));
    ASSERT_EQ(chmod(installed_.File("picvet").c_str(), 0755), 0);
    Seal();
    const std::string launcher = installed_.File("velkor-autoscan");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(launcher.c_str(), launcher.c_str(), card_.c_str(), out_.Path().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The staged copy runs picvet from its own directory: find the window's process there.
    std::string staged;
    pid_t window = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (window == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::vector<std::string> names = NamesIn(runtime.Path());
        if (names.empty()) continue;
        staged = runtime.Path() + "/" + names[0];
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code error;
            const fs::path exe = fs::read_symlink(entry.path() / "exe", error);
            if (!error && exe == fs::path(staged) / "velkor-autoscan") window = std::stoi(entry.path().filename());
        }
    }
    ASSERT_NE(window, 0) << "no staged window found";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well into the scan
    kill(window, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGKILL);
    EXPECT_FALSE(fs::exists(staged));
    EXPECT_TRUE(NamesIn(runtime.Path()).empty());
    testing::RunCommand("pkill -f '" + staged + "/picvet'");
}

// An OUTDIR that cannot be made ends the run at once with the reason, instead of leaving
// a folder chooser open that nothing can answer.
TEST_F(InstalledLayout, AnOutdirThatCannotBeMadeEndsTheRunWithTheReason) {
    const testing::CommandResult run = testing::RunCommand("timeout 20 '" + testing::BuildProgramDirectory() +
                                                           "/velkor-autoscan' '" + card_ + "' '" + card_ + "/out'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("cannot create OUTDIR"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace velkor
