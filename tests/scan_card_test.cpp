// A scan and a save through the window runtime's own controls, whichever toolkit makes them
// (the same cases run on Qt and on Win32): what the scan lists and shows, what the save
// writes, and that a validator that cannot judge never lets the scan end in "扫描完成".
#include "carving/scan_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "carving/photo_saver.h"
#include "device/partition_locator.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "tests/support/box_answerer.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::AnsweredBox;

constexpr std::int64_t kChunk = 100000;

using testing::SectorPhoto;

class ScanCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    // The card of three pictures of ten sectors at sectors 100, 600 and 1100.
    void OpenOnThreePictures() {
        pictures_ = testing::MakeThreePictureCard(image_);
        OpenWindow(4000);
    }

    // A card of sectors sectors holding each picture at its sector. The bytes are all in place
    // before the card becomes drive C: some systems (Wine) take a write for another card.
    void OpenOn(std::int64_t sectors, const std::vector<std::pair<std::int64_t, ByteSet>>& placed) {
        for (const auto& [sector, bytes] : placed) testing::PlaceBytes(image_, sector * 512, bytes);
        testing::UseImageAsDriveC(image_, sectors);
        OpenWindow(sectors);
    }

    void OpenWindow(std::int64_t sectors) {
        form_ = MakeMainForm(Message("Velkor"), 634, 455);
        c_.window = form_.get();
        c_.按钮1 = &form_->AddButton("按钮1", {148, 5, 55, 25}, ScanCaption(), [] {});
        c_.驱动器框1 = &form_->AddDriveBox("驱动器框1", {5, 5, 138, 25}, [] {});
        c_.进度条1 = &form_->AddProgressBar("进度条1", {288, 5, 290, 25});
        c_.树型框1 = &form_->AddTreeBox("树型框1", {5, 40, 139, 392}, [] {}, [] {});
        c_.代码编辑框1 = &form_->AddTextStore("代码编辑框1", {0, 0, 0, 0});
        c_.图片框1 = &form_->AddPictureBox("图片框1", {146, 40, 488, 392});
        s_ = {c_.window, c_.树型框1, c_.代码编辑框1, &form_->AddDirectoryEditBox("目录编辑框1", {0, 0, 0, 0}),
              c_.进度条1, &form_->AddLabel("透明标签1", {580, 5, 50, 25}), &form_->AddTimer("时钟1", 200, [] {}),
              nullptr};
        form_->Show();
        SelectDrive(*c_.驱动器框1);
        ASSERT_EQ(TheScanState().DeviceSectors, sectors);
    }

    void TearDown() override {
        ClearInjectedFaults();
        form_.reset();
        UseDiscoveredDriveTable();
    }

    // Scans; the card must come out of it unchanged.
    void Scan() {
        const std::string before = testing::FileFingerprint(image_);
        ScanButtonAction(c_);
        EXPECT_EQ(testing::FileFingerprint(image_), before) << "the scan wrote to its source";
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < c_.树型框1->Count(); ++i) names.push_back(c_.树型框1->Text(i));
        return names;
    }

    // Where entry lies, as "sector+length".
    std::string Location(int entry) const {
        return c_.代码编辑框1->Line(2 * entry) + "+" + c_.代码编辑框1->Line(2 * entry + 1);
    }
    static std::string At(std::int64_t sector, std::int64_t length) {
        return std::to_string(sector) + "+" + std::to_string(length);
    }

    testing::ScratchProgramDirectory programDir_;
    testing::ScratchDir media_;
    const std::string image_ = media_.File("card.img");
    std::vector<ByteSet> pictures_;
    std::unique_ptr<MainForm> form_;
    ScanControls c_;
    SaveControls s_;
};

TEST_F(ScanCard, ListsEachPictureAtItsSectorsTicksItAndSaysDoneOnce) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    EXPECT_EQ(Names(), (std::vector<std::string>{"10000000.jpg", "10000001.jpg", "10000002.jpg"}));
    EXPECT_EQ(c_.代码编辑框1->Text(), "100\r\n10\r\n600\r\n10\r\n1100\r\n10\r\n");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c_.树型框1->Tick(i), 1) << i;
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].text, "扫描完成");
    EXPECT_TRUE(answerer.Boxes()[0].information);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    EXPECT_TRUE(c_.驱动器框1->Enabled());
}

TEST_F(ScanCard, PreviewsTheCurrentEntryFromTheCard) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    ASSERT_EQ(c_.树型框1->Count(), 3);
    c_.树型框1->SetCurrentIndex(1);
    Preview(c_);
    EXPECT_TRUE(c_.图片框1->HasPicture()) << c_.图片框1->Notice();
}

TEST_F(ScanCard, AMissingValidatorStopsTheScanWithAWarningThatNamesIt) {
    OpenOnThreePictures();
    std::remove((programDir_.File("picvet") + kProgramSuffix).c_str());
    testing::BoxAnswerer answerer;
    Scan();
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_FALSE(answerer.Boxes()[0].information);
    EXPECT_NE(answerer.Boxes()[0].text.find("找不到校验程序"), std::string::npos) << answerer.Boxes()[0].text;
}

TEST_F(ScanCard, AValidatorThatEndsBadlyStopsTheScanAndIsNeverTakenForSuccess) {
    OpenOnThreePictures();
    testing::StandIn(programDir_.File("picvet"), "exit 3");
    testing::BoxAnswerer answerer;
    Scan();
    EXPECT_TRUE(Names().empty()) << "no verdict is no acceptance";
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_FALSE(answerer.Boxes()[0].information);
    EXPECT_NE(answerer.Boxes()[0].text.find("以退出码 3 结束"), std::string::npos) << answerer.Boxes()[0].text;
    EXPECT_EQ(answerer.Boxes()[0].text.find("扫描完成"), std::string::npos) << answerer.Boxes()[0].text;
}

TEST_F(ScanCard, SavesEveryTickedPictureWholeIntoTheChosenFolderAndSaysSo) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    c_.树型框1->SetTick(1, false);
    testing::ScratchDir out;
    answerer.ChooseFolder(out.Path());
    const SaveReport report = SaveTickedPictures(s_);
    EXPECT_EQ(answerer.FoldersOffered(), 1);
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(testing::NamesIn(out.Path()), (std::vector<std::string>{"10000000.jpg", "10000002.jpg"}));
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), pictures_[0]);
    EXPECT_EQ(ReadWholeFile(out.File("10000002.jpg")), pictures_[2]);
    ASSERT_EQ(answerer.Boxes().size(), 2u);
    EXPECT_EQ(answerer.Boxes()[1].text.rfind("保存完成", 0), 0u) << answerer.Boxes()[1].text;
    EXPECT_TRUE(answerer.Boxes()[1].information);
}

TEST_F(ScanCard, ASaveWhoseFolderChooserIsCancelledWritesNothingAndSaysNothing) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    const SaveReport report = SaveTickedPictures(s_);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.written, 0);
    EXPECT_EQ(answerer.FoldersOffered(), 1);
    EXPECT_EQ(answerer.Boxes().size(), 1u) << "only the scan's";
}

// The chunk after the current one is read ahead into a slot of its own; a photo across the two
// must read on from one slot into the other as if they were one stretch of the card.
TEST_F(ScanCard, FindsPhotosAcrossTheEndOfAChunk) {
    OpenOn(2 * kChunk + 10, {{kChunk - 12, SectorPhoto(160, 120, 1, 40)},
                             {kChunk + 40, SectorPhoto(60, 50, 3, 9)},
                             {2 * kChunk - 1, SectorPhoto(50, 40, 5, 8)}});
    testing::BoxAnswerer answerer;
    Scan();
    ASSERT_EQ(c_.树型框1->Count(), 3);
    EXPECT_EQ(Location(0), At(kChunk - 12, 40));
    EXPECT_EQ(Location(1), At(kChunk + 40, 9));
    EXPECT_EQ(Location(2), At(2 * kChunk - 1, 8));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(c_.树型框1->IsDamaged(i)) << i;
}

TEST_F(ScanCard, StopKeepsWhatWasFoundTicksItAndSaysDoneOnce) {
    OpenOn(3 * kChunk, {{10, SectorPhoto(64, 64, 1, 10)}, {2 * kChunk + 10, SectorPhoto(64, 64, 9, 10)}});
    testing::BoxAnswerer answerer;
    // Stop is a second run of the button's action, from inside the scan's own events.
    Timer& stopper = form_->AddTimer("stopper", 1, [this] {
        if (c_.树型框1->Count() == 1 && c_.按钮1->Text() == StopCaption().Utf8()) ScanButtonAction(c_);
    });
    stopper.Start(1);
    Scan();
    stopper.Stop();
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    EXPECT_EQ(c_.树型框1->Tick(0), 1);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].text, "扫描完成");
    EXPECT_EQ(c_.进度条1->Value(), 100);
    EXPECT_GT(TheScanState().ScanPosition, TheScanState().DeviceSectors);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
}

TEST_F(ScanCard, UnreadableSectorsCostOnlyThePicturesInsideThemAndTheMessageCountsThem) {
    OpenOn(3 * kChunk, {{100, SectorPhoto(64, 64, 1, 10)},
                        {600, SectorPhoto(64, 64, 2, 10)},    // inside the unreadable range
                        {1200, SectorPhoto(64, 64, 3, 10)},   // behind it, in the same chunk
                        {kChunk + 50, SectorPhoto(64, 64, 4, 10)}});
    InjectReadFailure(image_, 590 * 512, 620 * 512 - 1);
    testing::BoxAnswerer answerer;
    Scan();
    ASSERT_EQ(c_.树型框1->Count(), 3);
    EXPECT_EQ(Location(0), At(100, 10));
    EXPECT_EQ(Location(1), At(1200, 10));
    EXPECT_EQ(Location(2), At(kChunk + 50, 10));
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    const std::string text = answerer.Boxes()[0].text;
    EXPECT_EQ(text.rfind("扫描完成\n", 0), 0u) << text;
    EXPECT_NE(text.find("有 30 个扇区无法读取"), std::string::npos) << text;
    EXPECT_NE(text.find("第 590 扇区"), std::string::npos) << text;
    EXPECT_FALSE(answerer.Boxes()[0].information);
}

TEST_F(ScanCard, ACardPulledOutMidScanEndsTheScanWithAWarningAndKeepsWhatWasFound) {
    OpenOn(3 * kChunk, {{10, SectorPhoto(64, 64, 1, 10)}, {2 * kChunk + 10, SectorPhoto(64, 64, 2, 10)}});
    InjectReadFailure(image_, kChunk * 512, 3 * kChunk * 512 - 1, ENODEV);
    testing::BoxAnswerer answerer;
    Scan();
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    const std::string text = answerer.Boxes()[0].text;
    EXPECT_FALSE(answerer.Boxes()[0].information) << text;
    EXPECT_NE(text.rfind("扫描完成", 0), 0u) << "a pulled card is no completed scan: " << text;
}

TEST_F(ScanCard, APhotoWithAnUnreadableSectorIsSavedWithZerosThereAndCounted) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    InjectReadFailure(image_, 103 * 512, 104 * 512 - 1);  // one sector of the first picture
    testing::ScratchDir out;
    answerer.ChooseFolder(out.Path());
    SaveTickedPictures(s_);
    ASSERT_EQ(answerer.Boxes().size(), 2u);
    const AnsweredBox told = answerer.Boxes()[1];
    EXPECT_FALSE(told.information) << told.text;
    EXPECT_NE(told.text.find("1 张照片有无法读取的扇区"), std::string::npos) << told.text;
    ByteSet partial = pictures_[0];
    std::fill(partial.begin() + 3 * 512, partial.begin() + 4 * 512, std::uint8_t{0});
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), partial) << "the readable sectors are kept";
    EXPECT_EQ(ReadWholeFile(out.File("10000001.jpg")), pictures_[1]);
    EXPECT_EQ(ReadWholeFile(out.File("10000002.jpg")), pictures_[2]);
}

TEST_F(ScanCard, ASaveKeepsEveryFileAlreadyInTheFolderAndSavingAgainAddsNothing) {
    OpenOnThreePictures();
    testing::BoxAnswerer answerer;
    Scan();
    testing::ScratchDir out;
    ASSERT_TRUE(WriteWholeFile(out.File("10000001.jpg"), BytesOf("another card's photo")));
    answerer.ChooseFolder(out.Path());
    SaveTickedPictures(s_);
    SaveTickedPictures(s_);
    const std::vector<AnsweredBox> boxes = answerer.Boxes();
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
