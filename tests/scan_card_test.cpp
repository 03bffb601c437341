// A scan and a save through the window runtime's own controls, whichever toolkit makes them
// (the same cases run on Qt and on Win32): what the save writes, and that a validator that
// cannot judge or a card pulled out never lets the scan end in "扫描完成".
#include "carving/scan_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carving/photo_saver.h"
#include "device/partition_locator.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "tests/support/box_answerer.h"
#include "tests/support/scan_rig.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::AnsweredBox;

constexpr std::int64_t kChunk = 100000;

using testing::SectorPhoto;

class ScanCard : public testing::ScanRig {
protected:
    // The card of three pictures of ten sectors at sectors 100, 600 and 1100.
    void OpenOnThreePictures() {
        UseImage(4000);
        pictures_ = testing::MakeThreePictureCard(image_);
    }

    // Saves the ticked pictures into folder, as chosen in the folder chooser; returns the
    // one box the save showed.
    AnsweredBox SaveInto(const std::string& folder) {
        answerer_.Forget();
        answerer_.ChooseFolder(folder);
        SaveTickedPictures(s_);
        return OnlyBox();
    }

    std::vector<ByteSet> pictures_;
};

TEST_F(ScanCard, AMissingValidatorStopsTheScanWithAWarningThatNamesIt) {
    OpenOnThreePictures();
    std::remove((programDir_.File("picvet") + kProgramSuffix).c_str());
    Scan();
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_FALSE(answerer_.Boxes()[0].information);
    EXPECT_NE(answerer_.Boxes()[0].text.find("找不到校验程序"), std::string::npos) << answerer_.Boxes()[0].text;
}

TEST_F(ScanCard, AValidatorThatEndsBadlyStopsTheScanAndIsNeverTakenForSuccess) {
    OpenOnThreePictures();
    testing::StandIn(programDir_.File("picvet"), "exit 3");
    Scan();
    EXPECT_TRUE(Names().empty()) << "no verdict is no acceptance";
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_FALSE(answerer_.Boxes()[0].information);
    EXPECT_NE(answerer_.Boxes()[0].text.find("以退出码 3 结束"), std::string::npos) << answerer_.Boxes()[0].text;
    EXPECT_EQ(answerer_.Boxes()[0].text.find("扫描完成"), std::string::npos) << answerer_.Boxes()[0].text;
}

TEST_F(ScanCard, SavesEveryTickedPictureWholeIntoTheChosenFolderAndSaysSo) {
    OpenOnThreePictures();
    Scan();
    c_.树型框1->SetTick(1, false);
    testing::ScratchDir out;
    answerer_.ChooseFolder(out.Path());
    const SaveReport report = SaveTickedPictures(s_);
    EXPECT_EQ(answerer_.FoldersOffered(), 1);
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(testing::NamesIn(out.Path()), (std::vector<std::string>{"10000000.jpg", "10000002.jpg"}));
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), pictures_[0]);
    EXPECT_EQ(ReadWholeFile(out.File("10000002.jpg")), pictures_[2]);
    ASSERT_EQ(answerer_.Boxes().size(), 2u);
    EXPECT_EQ(answerer_.Boxes()[1].text.rfind("保存完成", 0), 0u) << answerer_.Boxes()[1].text;
    EXPECT_TRUE(answerer_.Boxes()[1].information);
}

TEST_F(ScanCard, ASaveWhoseFolderChooserIsCancelledWritesNothingAndSaysNothing) {
    OpenOnThreePictures();
    Scan();
    const SaveReport report = SaveTickedPictures(s_);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.written, 0);
    EXPECT_EQ(answerer_.FoldersOffered(), 1);
    EXPECT_EQ(answerer_.Boxes().size(), 1u) << "only the scan's";
}

TEST_F(ScanCard, ACardPulledOutMidScanEndsTheScanWithAWarningAndKeepsWhatWasFound) {
    UseImage(3 * kChunk);
    Put(10, SectorPhoto(64, 64, 1, 10));
    Put(2 * kChunk + 10, SectorPhoto(64, 64, 2, 10));
    InjectReadFailure(image_, kChunk * 512, 3 * kChunk * 512 - 1, ENODEV);
    Scan();
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string text = answerer_.Boxes()[0].text;
    EXPECT_FALSE(answerer_.Boxes()[0].information) << text;
    EXPECT_NE(text.rfind("扫描完成", 0), 0u) << "a pulled card is no completed scan: " << text;
}

TEST_F(ScanCard, APhotoWithAnUnreadableSectorIsSavedWithZerosThereAndCounted) {
    OpenOnThreePictures();
    Scan();
    InjectReadFailure(image_, 103 * 512, 104 * 512 - 1);  // one sector of the first picture
    testing::ScratchDir out;
    const AnsweredBox told = SaveInto(out.Path());
    EXPECT_FALSE(told.information) << told.text;
    EXPECT_TRUE(Says(told.text, "1 张照片有无法读取的扇区")) << told.text;
    ByteSet partial = pictures_[0];
    std::fill(partial.begin() + 3 * 512, partial.begin() + 4 * 512, std::uint8_t{0});
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), partial) << "the readable sectors are kept";
    EXPECT_EQ(ReadWholeFile(out.File("10000001.jpg")), pictures_[1]);
    EXPECT_EQ(ReadWholeFile(out.File("10000002.jpg")), pictures_[2]);
}

// A photo that now lies beyond the end of the drive is a failure, never a file of zeros.
TEST_F(ScanCard, APhotoNowBeyondTheEndOfTheDriveFailsAndTheOthersAreSaved) {
    OpenOnThreePictures();
    Scan();
    const std::optional<DeviceIdentity> scanned = IdentityOfSource(image_);
    std::filesystem::resize_file(image_, 1000 * 512);  // the third picture (sector 1100) is gone
    if (IdentityOfSource(image_) != scanned) GTEST_SKIP() << testing::kResizeMakesAnotherFile;
    testing::ScratchDir out;
    const AnsweredBox told = SaveInto(out.Path());
    EXPECT_FALSE(told.information) << told.text;
    EXPECT_TRUE(Says(told.text, "1 个文件未能保存，2 个已保存")) << told.text;
    EXPECT_TRUE(Says(told.text, "10000002.jpg")) << told.text;
    EXPECT_TRUE(Says(told.text, "超出驱动器的末尾")) << told.text;
    EXPECT_EQ(testing::NamesIn(out.Path()), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), pictures_[0]);
    EXPECT_EQ(ReadWholeFile(out.File("10000001.jpg")), pictures_[1]);
}

// The listed sectors belong to the drive they were found on: choosing another
// drive after the scan does not make the save read that one.
TEST_F(ScanCard, SavesFromTheScannedDriveWhateverIsSelectedAndFailsWhenItIsGone) {
    OpenOnThreePictures();
    Scan();
    const std::string other = media_.File("other.img");
    testing::SizeFile(other, 4000 * 512);
    ArrangeDriveTable({{0, image_}, {1, other}}, {{.letter = "C", .source = image_, .diskNumber = 0},
                                                  {.letter = "D", .source = other, .diskNumber = 1}});
    c_.驱动器框1->Refresh();
    ASSERT_TRUE(c_.驱动器框1->SelectLetter("D"));
    SelectDrive(*c_.驱动器框1);
    testing::ScratchDir out;
    EXPECT_EQ(SaveInto(out.Path()).text, "保存完成");
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(ReadWholeFile(out.File(std::to_string(10000000 + k) + ".jpg")), pictures_[static_cast<std::size_t>(k)]) << k;
    }

    const std::string removed = media_.File("removed.img");
    ASSERT_EQ(std::rename(image_.c_str(), removed.c_str()), 0);
    testing::SizeFile(image_, 4000 * 512);  // another card in the same reader, under the same name
    testing::ScratchDir again;
    const std::string message = SaveInto(again.Path()).text;
    EXPECT_TRUE(Says(message, "3 个文件未能保存")) << message;
    EXPECT_TRUE(Says(message, "已被移除或更换")) << message;
    EXPECT_TRUE(testing::NamesIn(again.Path()).empty()) << "no file of the other card's bytes";
}

// Two cards numbered alike saved into one folder: the first card's photos stay.
TEST_F(ScanCard, ASecondCardSavedIntoTheSameFolderKeepsTheFirstCardsPhotos) {
    OpenOnThreePictures();
    Scan();
    testing::ScratchDir out;
    ASSERT_EQ(SaveInto(out.Path()).text, "保存完成");
    const std::vector<ByteSet> first = pictures_;
    image_ = media_.File("second.img");
    UseImage(4000);
    pictures_.clear();
    for (int i = 0; i < 3; ++i) {
        pictures_.push_back(testing::PadJpegTo(testing::MakeJpeg(120, 90, {.seed = static_cast<std::uint32_t>(40 + i)}), 10 * 512));
        Put(100 + 500 * i, pictures_.back());
    }
    Scan();
    ASSERT_EQ(Names().size(), 3u);
    const std::string message = SaveInto(out.Path()).text;
    EXPECT_TRUE(Says(message, "3 张照片的文件名已被目录里的其他文件占用")) << message;
    for (int k = 0; k < 3; ++k) {
        const std::string name = std::to_string(10000000 + k);
        EXPECT_EQ(ReadWholeFile(out.File(name + ".jpg")), first[static_cast<std::size_t>(k)]) << k;
        EXPECT_EQ(ReadWholeFile(out.File(name + "-1.jpg")), pictures_[static_cast<std::size_t>(k)]) << k;
    }
}

TEST_F(ScanCard, ASaveKeepsEveryFileAlreadyInTheFolderAndSavingAgainAddsNothing) {
    OpenOnThreePictures();
    Scan();
    testing::ScratchDir out;
    ASSERT_TRUE(WriteWholeFile(out.File("10000001.jpg"), BytesOf("another card's photo")));
    answerer_.ChooseFolder(out.Path());
    SaveTickedPictures(s_);
    SaveTickedPictures(s_);
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[1].text.find("1 张照片的文件名已被目录里的其他文件占用"), std::string::npos) << boxes[1].text;
    EXPECT_EQ(boxes[2].text.rfind("保存完成", 0), 0u) << "the same photos again are already there: " << boxes[2].text;
    EXPECT_EQ(testing::NamesIn(out.Path()),
              (std::vector<std::string>{"10000000.jpg", "10000001-1.jpg", "10000001.jpg", "10000002.jpg"}));
    EXPECT_EQ(ReadWholeFile(out.File("10000001.jpg")), BytesOf("another card's photo"));
    EXPECT_EQ(ReadWholeFile(out.File("10000001-1.jpg")), pictures_[1]);
}

}  // namespace
}  // namespace velkor
