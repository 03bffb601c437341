// The scan's cases that need Linux itself: validators that are shell scripts and die by
// signals, links and directories under the scratch names, file size limits, loop devices.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "carving/candidate_validation.h"
#include "carving/scan_engine.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "tests/support/scan_rig.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::MakeJpeg;
using testing::SectorPhoto;

constexpr std::int64_t kChunk = 100000;

class ScanOnLinux : public testing::ScanRig {
protected:
    // Puts a wrapper in front of picvet that counts its runs.
    void CountValidatorRuns() {
        if (access(programDir_.File("picvet-real").c_str(), F_OK) != 0) {
            ASSERT_EQ(std::rename(programDir_.File("picvet").c_str(), programDir_.File("picvet-real").c_str()), 0);
            const std::string wrapper = "#!/bin/sh\ndir=$(dirname \"$0\")\necho run >> \"$dir/runs\"\nexec \"$dir/picvet-real\"\n";
            ASSERT_TRUE(WriteWholeFile(programDir_.File("picvet"), BytesOf(wrapper)));
            ASSERT_EQ(chmod(programDir_.File("picvet").c_str(), 0755), 0);
        }
        std::remove(programDir_.File("runs").c_str());
    }
    int ValidatorRuns() const { return static_cast<int>(ReadWholeFile(programDir_.File("runs")).size() / 4); }
};

TEST_F(ScanOnLinux, AProgramDirectoryThatCannotBeWrittenRefusesTheScan) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into a directory of mode 0555";
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    ASSERT_EQ(chmod(programDir_.Path().c_str(), 0555), 0);
    Scan();
    ASSERT_EQ(chmod(programDir_.Path().c_str(), 0755), 0);
    EXPECT_TRUE(Names().empty());
    EXPECT_FALSE(OnlyBox().information) << OnlyBox().text;
    EXPECT_EQ(answerer_.Count("扫描完成"), 0);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    EXPECT_TRUE(c_.驱动器框1->Enabled());
}

TEST_F(ScanOnLinux, ACandidateRejectedOnceLeavesNoTraceAndCostsNoFurtherRuns) {
    UseImage(2000);
    Put(10, testing::PadJpegTo(MakeJpeg(9, 9), 8 * 512));
    for (std::int64_t sector = 18; sector < 40; ++sector) Put(sector, ByteSet{0xFF, 0xD9, 0x00, 0x00}, 100);
    Put(300, SectorPhoto(64, 64, 1));
    CountValidatorRuns();
    Scan();
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    EXPECT_EQ(Location(0), At(300, 10));
    EXPECT_EQ(ValidatorRuns(), 2);
}

// The drive changes while the first chunk is worked on, when the second one is being
// read ahead already and the third not yet.
TEST_F(ScanOnLinux, ADriveShortenedMidScanCountsWhatItNoLongerHoldsAndOneRemovedEndsTheScan) {
    sourceMustStay_ = false;  // the test shortens and removes it itself
    for (const bool removed : {false, true}) {
        UseImage(3 * kChunk);
        Put(10, SectorPhoto(64, 64, 1));
        Put(2 * kChunk + 60000, SectorPhoto(64, 64, 2));
        Choose();
        const During vanishing = WhileScanning([&] {
            if (c_.树型框1->Count() != 1) return false;
            EXPECT_EQ(removed ? std::remove(image_.c_str()) : truncate(image_.c_str(), (2 * kChunk + kChunk / 2) * 512), 0);
            return true;
        });
        answerer_.Forget();
        Scan();
        const std::string how = removed ? "removed" : "truncated";
        EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"}) << how;
        ASSERT_EQ(answerer_.Boxes().size(), 1u) << how;
        const std::string text = OnlyBox().text;
        EXPECT_FALSE(OnlyBox().information) << how;
        if (removed) {
            EXPECT_FALSE(text.rfind("扫描完成", 0) == 0) << text;
            EXPECT_TRUE(Says(text, "已无法读取")) << text;
            EXPECT_TRUE(Says(text, std::strerror(ENOENT))) << text;
        } else {
            // The third chunk is read after the cut: its second half lies beyond the new end.
            EXPECT_TRUE(Says(text, "有 50000 个扇区无法读取")) << text;
            EXPECT_TRUE(Says(text, "第 250000 扇区")) << text;
        }
        EXPECT_GE(TheScanState().ScanPosition, TheScanState().DeviceSectors) << how;
        c_.树型框1->SetCurrentIndex(0);
        Preview(c_);
        EXPECT_EQ(c_.图片框1->HasPicture(), !removed) << "the first picture lies before the cut";
    }
}

// A validator that fails from the start is a broken validator: the scan stops and
// says so instead of reporting an empty card.
TEST_F(ScanOnLinux, AValidatorThatCannotJudgeStopsTheScanAndSaysWhatHappened) {
    struct Case {
        const char* script;
        const char* told;
    };
    const Case cases[] = {{"kill -SEGV $$", "信号 11（Segmentation fault）"},
                          {"exit 127", "退出码 127"},
                          {"exit 0", "没有写出判定文件"},
                          {"exec sleep 30", "仍未结束"}};
    constexpr std::int64_t kLimitMs = 400;
    const std::int64_t previous = SetValidatorTimeLimit(kLimitMs);
    UseImage(2000);
    for (const std::int64_t sector : {10, 30, 50, 70}) Put(sector, SectorPhoto(64, 64, static_cast<std::uint32_t>(sector)));
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteWholeFile(programDir_.File("picvet"), BytesOf(std::string("#!/bin/sh\n") + c.script + "\n")));
        answerer_.Forget();
        const auto begin = std::chrono::steady_clock::now();
        Scan();
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_TRUE(Names().empty()) << c.script;
        ASSERT_EQ(answerer_.Boxes().size(), 1u) << c.script;
        const std::string text = OnlyBox().text;
        EXPECT_FALSE(OnlyBox().information) << c.script;
        EXPECT_FALSE(text.rfind("扫描完成", 0) == 0) << text;
        EXPECT_TRUE(Says(text, "picvet")) << text;
        EXPECT_TRUE(Says(text, c.told)) << text;
        EXPECT_LT(took, std::chrono::milliseconds(2 * kLimitMs)) << c.script << ": a hang costs one time limit at most";
    }
    SetValidatorTimeLimit(previous);
}

// One hostile candidate that crashes the validator is rejected; the others are judged
// and the completion message counts the one that could not be.
TEST_F(ScanOnLinux, ACandidateThatCrashesTheValidatorIsCountedAndTheRestAreJudged) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    // Its end marker lies well inside its last sector, so the text behind it is in the cut.
    ByteSet hostile = testing::PadJpegTo(MakeJpeg(64, 64, {.seed = 2}), 10 * 512 - 32);
    for (const std::uint8_t byte : ByteSet{0x00, 0x00, 'C', 'R', 'A', 'S', 'H'}) hostile.push_back(byte);
    Put(30, hostile);
    Put(50, SectorPhoto(64, 64, 3));
    ASSERT_EQ(std::rename(programDir_.File("picvet").c_str(), programDir_.File("picvet-real").c_str()), 0);
    const std::string wrapper = "#!/bin/sh\ndir=$(dirname \"$0\")\n"
                                "if grep -q CRASH \"$dir/tem.tem\"; then kill -SEGV $$; fi\n"
                                "exec \"$dir/picvet-real\"\n";
    ASSERT_TRUE(WriteWholeFile(programDir_.File("picvet"), BytesOf(wrapper)));
    ASSERT_EQ(chmod(programDir_.File("picvet").c_str(), 0755), 0);
    Scan();
    EXPECT_EQ(Names().size(), 2u);
    EXPECT_EQ(Location(0), At(10, 10));
    EXPECT_EQ(Location(1), At(50, 10));
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string text = OnlyBox().text;
    EXPECT_TRUE(text.rfind("扫描完成\n", 0) == 0) << text;
    EXPECT_TRUE(Says(text, "有 1 个候选照片无法判定")) << text;
    EXPECT_TRUE(Says(text, "信号 11")) << text;
    EXPECT_FALSE(OnlyBox().information);
}

// Names in the program directory that are not plain files of our own are never
// written through, and the drive being scanned is never a scratch file.
TEST_F(ScanOnLinux, ScratchNamesThatAreNotOurOwnFilesRefuseTheScanAndStayUntouched) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    const std::string kept = media_.File("kept.img");
    testing::PlaceBytes(kept, 0, SectorPhoto(64, 64, 5));
    const std::string keptBefore = testing::FileFingerprint(kept);
    const std::string imageBefore = testing::FileFingerprint(image_);
    const auto refuses = [&](const std::string& name, const char* told) {
        answerer_.Forget();
        Scan();
        ASSERT_EQ(answerer_.Boxes().size(), 1u) << name;
        const std::string text = OnlyBox().text;
        EXPECT_FALSE(OnlyBox().information) << name;
        EXPECT_TRUE(Says(text, name)) << text;
        EXPECT_TRUE(Says(text, told)) << text;
        EXPECT_TRUE(Names().empty()) << name;
    };
    for (const std::string name : {"tem.tem", "ini.ini", "velkor.lock"}) {
        const std::string path = programDir_.File(name);
        ASSERT_EQ(symlink(kept.c_str(), path.c_str()), 0);
        refuses(name, "符号链接");
        ASSERT_EQ(std::remove(path.c_str()), 0);
        ASSERT_EQ(link(kept.c_str(), path.c_str()), 0);
        refuses(name, "硬链接");
        ASSERT_EQ(std::remove(path.c_str()), 0);
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        refuses(name, "不是普通文件");
        ASSERT_EQ(rmdir(path.c_str()), 0);
    }
    EXPECT_EQ(testing::FileFingerprint(kept), keptBefore);
    // The card itself kept in the program directory under a scratch name.
    const std::string inside = programDir_.File("tem.tem");
    ASSERT_EQ(std::rename(image_.c_str(), inside.c_str()), 0);
    testing::UseImageAsDriveC(inside, 2000);
    SelectDrive(*c_.驱动器框1);
    chosen_ = true;
    refuses(inside, "就是程序目录里的临时文件");
    EXPECT_EQ(testing::FileFingerprint(inside), imageBefore);
}

// Writes of the scratch files that fail stop the scan with the file and the reason,
// whether the disk is full or the process may not write files that large.
TEST_F(ScanOnLinux, AScratchFileThatCannotBeWrittenStopsTheScanWithTheReason) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    Put(30, SectorPhoto(64, 64, 2));
    rlimit original {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    rlimit small = original;
    small.rlim_cur = 4096;  // below a ten-sector candidate
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Scan();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &original), 0);
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string text = OnlyBox().text;
    EXPECT_FALSE(text.rfind("扫描完成", 0) == 0) << text;
    EXPECT_TRUE(Says(text, programDir_.File("tem.tem"))) << text;
    EXPECT_TRUE(Says(text, std::strerror(EFBIG))) << text;
}

// Every candidate is written to the program directory: on the disk being recovered
// those writes would land on the free space that holds the deleted photos.
TEST_F(ScanOnLinux, AProgramDirectoryOnTheDiskBeingRecoveredRefusesTheScanBeforeAnyWrite) {
    UseImage(2000);
    if (geteuid() != 0) GTEST_SKIP() << "attaching loop devices and mounting need root";
    testing::SizeFile(media_.File("ext4.img"), 32 << 20);
    const testing::LoopDevice card(media_.File("ext4.img"));
    if (card.Path().empty()) GTEST_SKIP() << "losetup cannot attach here: " << card.Error();
    const testing::Ext4Mount mounted(card.Path(), media_.File("mnt"));
    if (!mounted.Mounted()) GTEST_SKIP() << mounted.Error();
    const std::string programDirectory = media_.File("mnt/velkor");
    ASSERT_EQ(mkdir(programDirectory.c_str(), 0755), 0);
    testing::CopyDeliverable("picvet", programDirectory);
    OverrideProgramDirectory(programDirectory);
    ArrangeDriveTable({{0, card.Path()}}, {{.letter = "C", .source = card.Path(), .diskNumber = 0}});
    SelectDrive(*c_.驱动器框1);
    chosen_ = true;
    Scan();
    OverrideProgramDirectory(programDir_.Path());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string text = OnlyBox().text;
    EXPECT_TRUE(Says(text, "程序目录")) << text;
    EXPECT_TRUE(Says(text, "另一块磁盘")) << "says what to do: " << text;
    struct stat info {};
    EXPECT_NE(stat((programDirectory + "/tem.tem").c_str(), &info), 0) << "no candidate was written there";
    EXPECT_NE(stat((programDirectory + "/velkor.lock").c_str(), &info), 0);
}

}  // namespace
}  // namespace velkor
