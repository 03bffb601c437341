// Saving photos into a folder held open: nothing replaced, nothing left behind, and nothing written
// where the folder used to be.
#include "platform/target_directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using Kind = TargetDirectory::Saved::Kind;
using Placing = TargetDirectory::Placing;
using testing::NamesIn;
using testing::ScratchDir;
using testing::TmpfsMount;

// A JPEG of exactly size bytes; seed makes photos of one size differ.
ByteSet Photo(std::uint32_t seed, std::size_t size) {
    return testing::PadJpegTo(testing::MakeJpeg(32, 24, {.seed = seed}), size);
}

// Returns every ".part-" file at or under root.
std::vector<std::string> PartFilesUnder(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().starts_with(".part-")) found.push_back(entry.path());
    }
    return found;
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
    return info;
}

// Every case runs once for each way of putting a file in place, since each file system gets only one.
class EachPlacing : public ::testing::TestWithParam<Placing> {
protected:
    EachPlacing() { fs::create_directory(out_); }

    TargetDirectory OpenOrFail(const std::string& path) {
        std::string reason;
        std::optional<TargetDirectory> directory = TargetDirectory::Open(path, reason, GetParam());
        if (!directory) throw std::runtime_error("cannot open " + path + ": " + reason);
        return std::move(*directory);
    }

    // A folder "out" inside a scratch directory, so that the tests can see what lands beside it.
    ScratchDir parent_;
    const std::string out_ = parent_.File("out");
};

TEST_P(EachPlacing, WritesThePhotoWholeUnderItsNameWithTheUsersPermissions) {
    const mode_t mask = umask(022);
    TargetDirectory directory = OpenOrFail(out_);
    const ByteSet photo = Photo(1, 300000);
    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", photo);
    umask(mask);
    EXPECT_EQ(saved.kind, Kind::kWritten) << saved.reason;
    EXPECT_EQ(saved.name, "10000000.jpg");
    EXPECT_TRUE(saved.reason.empty());
    EXPECT_EQ(ReadWholeFile(out_ + "/10000000.jpg"), photo);
    EXPECT_EQ(NamesIn(out_), std::vector<std::string>{"10000000.jpg"}) << "no temporary beside it";
    EXPECT_EQ(StatOf(out_ + "/10000000.jpg").st_mode & 0777, 0644u) << "0666 narrowed by the umask";
    std::string reason;
    EXPECT_TRUE(directory.MakeDurable(reason)) << reason;
}

TEST_P(EachPlacing, KeepsAFileWithOtherContentAndSavesUnderTheNextFreeNumber) {
    const ByteSet first = Photo(1, 200000);
    ByteSet sameSizeLastByteDiffers = first;
    sameSizeLastByteDiffers.back() ^= 0xFF;
    ASSERT_TRUE(WriteWholeFile(out_ + "/10000000.jpg", sameSizeLastByteDiffers));
    TargetDirectory directory = OpenOrFail(out_);

    const TargetDirectory::Saved one = directory.Save("10000000.jpg", first);
    EXPECT_EQ(one.kind, Kind::kWrittenUnderFreeName) << one.reason;
    EXPECT_EQ(one.name, "10000000-1.jpg");
    const TargetDirectory::Saved two = directory.Save("10000000.jpg", Photo(2, 200000));
    EXPECT_EQ(two.kind, Kind::kWrittenUnderFreeName) << two.reason;
    EXPECT_EQ(two.name, "10000000-2.jpg");
    const TargetDirectory::Saved again = directory.Save("10000000.jpg", first);
    EXPECT_EQ(again.kind, Kind::kAlreadyThere) << "found under its numbered name: " << again.reason;
    EXPECT_EQ(again.name, "10000000-1.jpg");

    EXPECT_EQ(ReadWholeFile(out_ + "/10000000.jpg"), sameSizeLastByteDiffers);
    EXPECT_EQ(ReadWholeFile(out_ + "/10000000-1.jpg"), first);
    EXPECT_EQ(ReadWholeFile(out_ + "/10000000-2.jpg"), Photo(2, 200000));
    EXPECT_EQ(NamesIn(out_), (std::vector<std::string>{"10000000-1.jpg", "10000000-2.jpg", "10000000.jpg"}));
}

TEST_P(EachPlacing, NumbersNamesWithoutAnExtensionAtTheirEnd) {
    ASSERT_TRUE(WriteWholeFile(out_ + "/card", BytesOf("other")));
    ASSERT_TRUE(WriteWholeFile(out_ + "/.hidden", BytesOf("other")));
    TargetDirectory directory = OpenOrFail(out_);
    EXPECT_EQ(directory.Save("card", BytesOf("photo")).name, "card-1");
    EXPECT_EQ(directory.Save(".hidden", BytesOf("photo")).name, ".hidden-1");
}

TEST_P(EachPlacing, AFileHoldingExactlyTheBytesCountsAsSavedAndIsNotRewritten) {
    const ByteSet photo = Photo(3, 150000);
    const std::string path = out_ + "/10000000.jpg";
    ASSERT_TRUE(WriteWholeFile(path, photo));
    const timespec longAgo[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), longAgo, 0), 0);
    const struct stat before = StatOf(path);
    TargetDirectory directory = OpenOrFail(out_);

    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", photo);

    EXPECT_EQ(saved.kind, Kind::kAlreadyThere) << saved.reason;
    EXPECT_EQ(saved.name, "10000000.jpg");
    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not replaced";
    EXPECT_EQ(after.st_mtim.tv_sec, 978307200) << "not written again";
    EXPECT_EQ(NamesIn(out_), std::vector<std::string>{"10000000.jpg"}) << "no temporary left";
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

TEST_P(EachPlacing, RefusesNamesThatAreNotPlainFileNames) {
    fs::create_directory(out_ + "/sub");
    TargetDirectory directory = OpenOrFail(out_);
    const std::vector<std::string> names = {"sub/10000000.jpg",    "../10000000.jpg", "..", ".", "",
                                            std::string("a\0b", 3)};
    for (const std::string& name : names) {
        const TargetDirectory::Saved saved = directory.Save(name, Photo(1, 5000));
        EXPECT_EQ(saved.kind, Kind::kFailed) << name;
        EXPECT_EQ(saved.name, name);
        EXPECT_FALSE(saved.reason.empty()) << name;
    }
    EXPECT_TRUE(NamesIn(out_ + "/sub").empty());
    EXPECT_EQ(NamesIn(out_), std::vector<std::string>{"sub"});
    EXPECT_EQ(NamesIn(parent_.Path()), std::vector<std::string>{"out"});
}

std::string PlacingName(const ::testing::TestParamInfo<Placing>& info) {
    const char* const names[] = {"AnonymousLink", "RenameNoReplace", "HardLink", "CheckThenRename"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(TargetDirectory, EachPlacing,
                         ::testing::Values(Placing::kAnonymousLink, Placing::kRenameNoReplace,
                                           Placing::kHardLink, Placing::kCheckThenRename),
                         PlacingName);

TEST(TargetDirectoryNames, TheLastNumberedNameIsUsedAndThenTheSaveGivesUpWithTheReason) {
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("p.jpg"), BytesOf("other")));
    for (std::int64_t n = 1; n < TargetDirectory::kMostNumberedNames; ++n) {
        ASSERT_TRUE(WriteWholeFile(dir.File("p-" + std::to_string(n) + ".jpg"), BytesOf("other")));
    }
    std::string reason;
    std::optional<TargetDirectory> directory = TargetDirectory::Open(dir.Path(), reason);
    ASSERT_TRUE(directory) << reason;

    const std::string last = "p-" + std::to_string(TargetDirectory::kMostNumberedNames) + ".jpg";
    EXPECT_EQ(directory->Save("p.jpg", BytesOf("photo")).name, last);
    const TargetDirectory::Saved gaveUp = directory->Save("p.jpg", BytesOf("another photo"));

    EXPECT_EQ(gaveUp.kind, Kind::kFailed);
    EXPECT_NE(gaveUp.reason.find(std::to_string(TargetDirectory::kMostNumberedNames)), std::string::npos)
        << gaveUp.reason;
    EXPECT_EQ(NamesIn(dir.Path()).size(), static_cast<std::size_t>(TargetDirectory::kMostNumberedNames + 1));
    EXPECT_TRUE(PartFilesUnder(dir.Path()).empty());
}

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
