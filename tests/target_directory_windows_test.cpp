// Saving photos into a folder held open, on Windows: the folder cannot be moved or removed from
// under the save, and it can once the save lets it go.
#include "platform/target_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "tests/support/each_placing.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using Kind = TargetDirectory::Saved::Kind;
using testing::NamesIn;
using testing::Photo;
using testing::ScratchDir;

TEST(TargetDirectoryHeld, TheFolderCannotBeRenamedOrRemovedWhileTheSaveHoldsIt) {
    ScratchDir parent;
    const std::string out = parent.File("out");
    fs::create_directory(out);
    {
        std::string reason;
        std::optional<TargetDirectory> directory = TargetDirectory::Open(out, reason);
        ASSERT_TRUE(directory) << reason;

        std::error_code refused;
        fs::remove(out, refused);
        EXPECT_TRUE(refused) << "the empty folder was removed while held";
        ASSERT_EQ(directory->Save("10000000.jpg", Photo(1, 5000)).kind, Kind::kWritten);
        fs::rename(out, parent.File("renamed"), refused);
        EXPECT_TRUE(refused) << "renamed while held";

        const TargetDirectory::Saved saved = directory->Save("10000001.jpg", Photo(2, 5000));
        EXPECT_EQ(saved.kind, Kind::kWritten) << saved.reason;
        EXPECT_TRUE(directory->MakeDurable(reason)) << reason;
    }
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    EXPECT_EQ(ReadWholeFile(out + "/10000001.jpg"), Photo(2, 5000));
    std::error_code error;
    fs::rename(out, parent.File("renamed"), error);
    EXPECT_FALSE(error) << "still held after the save: " << error.message();
}

TEST(TargetDirectoryHeld, OpenFailsWithAReasonForAMissingFolderOrAFile) {
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("file"), BytesOf("x")));
    std::string reason;
    EXPECT_FALSE(TargetDirectory::Open(dir.File("missing"), reason));
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(TargetDirectory::Open(dir.File("file"), reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace velkor
