// A scan and a save through the window runtime's own controls, whichever toolkit makes them
// (the same cases run on Qt and on Win32): what the scan lists and shows, what the save
// writes, and that a validator that cannot judge never lets the scan end in "扫描完成".
#include "carving/scan_engine.h"

#include <gtest/gtest.h>

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

class ScanCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override {
        pictures_ = testing::MakeThreePictureCard(image_);
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
        ASSERT_EQ(TheScanState().DeviceSectors, 4000);
    }

    void TearDown() override {
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

    testing::ScratchProgramDirectory programDir_;
    testing::ScratchDir media_;
    const std::string image_ = media_.File("card.img");
    std::vector<ByteSet> pictures_;
    std::unique_ptr<MainForm> form_;
    ScanControls c_;
    SaveControls s_;
};

TEST_F(ScanCard, ListsEachPictureAtItsSectorsTicksItAndSaysDoneOnce) {
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
    testing::BoxAnswerer answerer;
    Scan();
    ASSERT_EQ(c_.树型框1->Count(), 3);
    c_.树型框1->SetCurrentIndex(1);
    Preview(c_);
    EXPECT_TRUE(c_.图片框1->HasPicture()) << c_.图片框1->Notice();
}

TEST_F(ScanCard, AMissingValidatorStopsTheScanWithAWarningThatNamesIt) {
    std::remove((programDir_.File("picvet") + kProgramSuffix).c_str());
    testing::BoxAnswerer answerer;
    Scan();
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_FALSE(answerer.Boxes()[0].information);
    EXPECT_NE(answerer.Boxes()[0].text.find("找不到校验程序"), std::string::npos) << answerer.Boxes()[0].text;
}

TEST_F(ScanCard, AValidatorThatEndsBadlyStopsTheScanAndIsNeverTakenForSuccess) {
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
    testing::BoxAnswerer answerer;
    Scan();
    const SaveReport report = SaveTickedPictures(s_);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.written, 0);
    EXPECT_EQ(answerer.FoldersOffered(), 1);
    EXPECT_EQ(answerer.Boxes().size(), 1u) << "only the scan's";
}

}  // namespace
}  // namespace velkor
