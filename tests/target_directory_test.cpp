// Saving photos into a folder held open, on every system: nothing replaced, nothing left behind.
#include "platform/target_directory.h"

#include <gtest/gtest.h>

#include <chrono>
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

TEST_P(EachPlacing, WritesThePhotoWholeUnderItsName) {
    TargetDirectory directory = OpenOrFail(out_);
    const ByteSet photo = Photo(1, 300000);
    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", photo);
    EXPECT_EQ(saved.kind, Kind::kWritten) << saved.reason;
    EXPECT_EQ(saved.name, "10000000.jpg");
    EXPECT_TRUE(saved.reason.empty());
    EXPECT_EQ(ReadWholeFile(out_ + "/10000000.jpg"), photo);
    EXPECT_EQ(NamesIn(out_), std::vector<std::string>{"10000000.jpg"}) << "no temporary beside it";
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
    const fs::file_time_type longAgo = fs::last_write_time(path) - std::chrono::hours(24 * 365 * 20);
    fs::last_write_time(path, longAgo);
    TargetDirectory directory = OpenOrFail(out_);

    const TargetDirectory::Saved saved = directory.Save("10000000.jpg", photo);

    EXPECT_EQ(saved.kind, Kind::kAlreadyThere) << saved.reason;
    EXPECT_EQ(saved.name, "10000000.jpg");
    EXPECT_EQ(fs::last_write_time(path), longAgo) << "not written again";
    EXPECT_EQ(ReadWholeFile(path), photo);
    EXPECT_EQ(NamesIn(out_), std::vector<std::string>{"10000000.jpg"}) << "no temporary left";
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

INSTANTIATE_TEST_SUITE_P(TargetDirectory, EachPlacing, testing::kEveryPlacing, testing::PlacingName);

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

}  // namespace
}  // namespace velkor
