// Saving photos into a folder held open, on Linux: permissions, links, a folder renamed or
// removed under the save, a full disk and a read-only folder.
#include "platform/target_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/each_placing.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using Kind = TargetDirectory::Saved::Kind;
using testing::EachPlacing;
using testing::NamesIn;
using testing::PartFilesUnder;
using testing::Photo;
using testing::ScratchDir;
using testing::TmpfsMount;

struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
    return info;
}

TEST_P(EachPlacing, GivesThePhotoTheUsersPermissions) {
    const mode_t mask = umask(022);
    TargetDirectory directory = OpenOrFail(out_);
    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", Photo(1, 3000));
    umask(mask);
    ASSERT_EQ(saved.kind, Kind::kWritten) << saved.reason;
    EXPECT_EQ(StatOf(out_ + "/10000000.jpg").st_mode & 0777, 0644u) << "0666 narrowed by the umask";
}

TEST_P(EachPlacing, AFileHoldingExactlyTheBytesIsNotReplaced) {
    const ByteSet photo = Photo(3, 150000);
    const std::string path = out_ + "/10000000.jpg";
    ASSERT_TRUE(WriteWholeFile(path, photo));
    const struct stat before = StatOf(path);
    TargetDirectory directory = OpenOrFail(out_);
    EXPECT_EQ(directory.Save("10000000.jpg", photo).kind, Kind::kAlreadyThere);
    EXPECT_EQ(StatOf(path).st_ino, before.st_ino);
}

TEST_P(EachPlacing, NeverWritesThroughALinkPlacedAtTheName) {
    const std::string elsewhere = parent_.File("elsewhere.jpg");
    ASSERT_EQ(symlink(elsewhere.c_str(), (out_ + "/10000000.jpg").c_str()), 0);
    TargetDirectory directory = OpenOrFail(out_);

    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", Photo(4, 5000));

    EXPECT_EQ(saved.kind, Kind::kWrittenUnderFreeName) << saved.reason;
    EXPECT_EQ(saved.name, "10000000-1.jpg");
    EXPECT_FALSE(fs::exists(elsewhere)) << "the link's target was created";
    EXPECT_TRUE(fs::is_symlink(out_ + "/10000000.jpg")) << "the link was replaced";
}

TEST_P(EachPlacing, AFolderRenamedDuringTheSaveKeepsReceivingThePhotosAndTheOldPathStaysEmpty) {
    TargetDirectory directory = OpenOrFail(out_);
    ASSERT_EQ(directory.Save("10000000.jpg", Photo(1, 5000)).kind, Kind::kWritten);
    fs::rename(out_, parent_.File("renamed"));

    const TargetDirectory::Saved saved = directory.Save("10000001.jpg", Photo(2, 5000));

    EXPECT_EQ(saved.kind, Kind::kWritten) << saved.reason;
    EXPECT_EQ(NamesIn(parent_.Path()), std::vector<std::string>{"renamed"}) << "nothing at the old path";
    EXPECT_EQ(ReadWholeFile(parent_.File("renamed/10000001.jpg")), Photo(2, 5000));
    EXPECT_EQ(NamesIn(parent_.File("renamed")), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    EXPECT_TRUE(PartFilesUnder(parent_.Path()).empty());
}

TEST_P(EachPlacing, AFolderRemovedDuringTheSaveFailsTheRestWithTheReasonAndIsNotMadeAgain) {
    TargetDirectory directory = OpenOrFail(out_);
    ASSERT_EQ(directory.Save("10000000.jpg", Photo(1, 5000)).kind, Kind::kWritten);
    fs::remove_all(out_);

    const TargetDirectory::Saved saved = directory.Save("10000001.jpg", Photo(2, 5000));

    EXPECT_EQ(saved.kind, Kind::kFailed);
    EXPECT_EQ(saved.name, "10000001.jpg");
    EXPECT_EQ(saved.reason, std::strerror(ENOENT));
    EXPECT_TRUE(NamesIn(parent_.Path()).empty()) << "nothing written anywhere else";
}

TEST_P(EachPlacing, AFullDiskLeavesNoTemporaryInTheFolderEvenAfterItWasRenamed) {
    const TmpfsMount full(parent_.Path(), 3 * 4096, false);
    if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    fs::create_directory(out_);
    TargetDirectory directory = OpenOrFail(out_);
    ASSERT_EQ(directory.Save("10000000.jpg", Photo(1, 5000)).kind, Kind::kWritten);  // two of the three pages
    fs::rename(out_, parent_.File("renamed"));

    const TargetDirectory::Saved tooBig = directory.Save("10000001.jpg", Photo(2, 40000));
    EXPECT_EQ(tooBig.kind, Kind::kFailed);
    EXPECT_EQ(tooBig.reason, std::strerror(ENOSPC));
    const TargetDirectory::Saved small = directory.Save("10000002.jpg", Photo(3, 1000));
    EXPECT_EQ(small.kind, Kind::kWritten) << "the failed photo's pages were given back: " << small.reason;

    EXPECT_EQ(NamesIn(parent_.Path()), std::vector<std::string>{"renamed"});
    EXPECT_EQ(NamesIn(parent_.File("renamed")), (std::vector<std::string>{"10000000.jpg", "10000002.jpg"}));
}

TEST_P(EachPlacing, AReadOnlyFolderFailsWithTheReasonAndIsLeftEmpty) {
    // Root writes through any mode bits, so for root the folder is a read-only mount.
    const bool asRoot = geteuid() == 0;
    const TmpfsMount readOnly(out_, 1 << 20, asRoot);
    if (asRoot && !readOnly.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    if (!asRoot) {
        ASSERT_EQ(chmod(out_.c_str(), 0555), 0);
    }
    TargetDirectory directory = OpenOrFail(out_);

    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", Photo(1, 5000));

    EXPECT_EQ(saved.kind, Kind::kFailed);
    EXPECT_EQ(saved.reason, std::strerror(asRoot ? EROFS : EACCES));
    EXPECT_TRUE(NamesIn(out_).empty());
}

INSTANTIATE_TEST_SUITE_P(TargetDirectory, EachPlacing, testing::kEveryPlacing, testing::PlacingName);

TEST(TargetDirectoryOpen, FailsWithTheReasonForAMissingFolderOrAFile) {
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("file"), BytesOf("x")));
    std::string reason;
    EXPECT_FALSE(TargetDirectory::Open(dir.File("missing"), reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(TargetDirectory::Open(dir.File("file"), reason));
    EXPECT_EQ(reason, std::strerror(ENOTDIR));
}

}  // namespace
}  // namespace velkor
