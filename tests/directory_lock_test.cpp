// The lock one running copy holds on its program directory.
#include "platform/directory_lock.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

std::optional<DirectoryLock> TryTake(const std::string& path, bool& heldElsewhere) {
    std::string failure;
    return DirectoryLock::TryTake(path, heldElsewhere, failure);
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

TEST(DirectoryLock, ALockFileThatCannotBeMadeSaysWhyAndIsNotTakenForAnotherHolder) {
    testing::ScratchDir dir;
    bool heldElsewhere = true;
    std::string failure;
    EXPECT_FALSE(DirectoryLock::TryTake(dir.File("missing/velkor.lock"), heldElsewhere, failure).has_value());
    EXPECT_FALSE(heldElsewhere);
    std::string missingDirectory;
    ASSERT_FALSE(WriteWholeFile(dir.File("missing/other"), BytesOf("x"), &missingDirectory));
    EXPECT_EQ(failure, missingDirectory) << "the system's own words for a missing directory";
}

}  // namespace
}  // namespace velkor
