// The real main window as a user meets it, with an image as the drive and the real picvet,
// driven through its buttons, menus and status bar on whichever toolkit shows it.
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/files.h"
#include "tests/support/box_answerer.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"

namespace velkor {
namespace {

using testing::ScratchDir;

// The window over the three-picture card, with picvet in a scratch program directory.
class WindowInUse : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override {
        pictures_ = testing::MakeThreePictureCard(image_);
        window_ = std::make_unique<MainWindow>();
        window_->Form().Show();
        driver_ = std::make_unique<testing::WindowDriver>(*window_);
    }

    void TearDown() override {
        driver_.reset();
        window_.reset();
        UseDiscoveredDriveTable();
    }

    // Clicks Scan; the card's three pictures must be listed and "扫描完成" said once.
    void Scan() {
        driver_->ClickScan();
        ASSERT_EQ(answerer_.Count("扫描完成"), 1);
        ASSERT_EQ(driver_->Entries(), 3);
        answerer_.Forget();
    }
    // Clicks Save and answers the folder chooser with directory (an empty one cancels it).
    void Save(const std::string& directory) {
        answerer_.ChooseFolder(directory);
        driver_->ClickSave();
    }
    ByteSet Saved(const ScratchDir& dir, int k) const {
        return ReadWholeFile(dir.File(std::to_string(10000000 + k) + ".jpg"));
    }
    // Lets the window's timers run until the results field reads text, for two seconds at most.
    bool ResultsRead(const std::string& text) {
        for (int waited = 0; waited < 2000 && driver_->StatusField(1) != text; waited += 50) driver_->RunEventsFor(50);
        return driver_->StatusField(1) == text;
    }

    testing::ScratchProgramDirectory programDir_;
    ScratchDir media_;
    const std::string image_ = media_.File("card.img");
    std::vector<ByteSet> pictures_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<testing::WindowDriver> driver_;
    testing::BoxAnswerer answerer_;
};

TEST_F(WindowInUse, ScanListsTicksAndSelectAllAndUntickAllWork) {
    Scan();
    EXPECT_EQ(driver_->Ticked(), 3);
    driver_->Choose("反选");
    EXPECT_EQ(driver_->Ticked(), 0);
    driver_->Choose("反选");
    EXPECT_EQ(driver_->Ticked(), 0) << "it clears, it does not invert";
    driver_->SetTick(1, true);
    driver_->Choose("全选");
    EXPECT_EQ(driver_->Ticked(), 3);
}

TEST_F(WindowInUse, TheStatusBarFollowsTheScanAndTheTicks) {
    Scan();
    EXPECT_TRUE(ResultsRead("找到 3 张照片，已勾选 3 张")) << driver_->StatusField(1);
    driver_->SetTick(1, false);
    EXPECT_TRUE(ResultsRead("找到 3 张照片，已勾选 2 张")) << driver_->StatusField(1);
    EXPECT_EQ(driver_->StatusField(0), "C: " + SizeText(4000 * 512)) << "the drive box's own units";
}

TEST_F(WindowInUse, SaveWritesEveryTickedPictureAsItsListedSectors) {
    Scan();
    driver_->SetTick(1, false);
    ScratchDir out;
    Save(out.Path());
    ASSERT_EQ(answerer_.Count("保存完成"), 1);
    for (int k : {0, 2}) {
        const ByteSet saved = Saved(out, k);
        ASSERT_EQ(saved.size() % 512, 0u);
        ASSERT_GE(saved.size(), pictures_[k].size());
        EXPECT_TRUE(std::equal(pictures_[k].begin(), pictures_[k].end(), saved.begin())) << k;
        EXPECT_EQ(saved.size(), (pictures_[k].size() - 1) / 512 * 512 + 512);
    }
    EXPECT_FALSE(std::filesystem::exists(out.File("10000001.jpg"))) << "unticked entries are not written";
    EXPECT_EQ(testing::NamesIn(out.Path()).size(), 2u) << "no temporary files left";
    EXPECT_EQ(driver_->StatusField(1).rfind("已保存 2 / 2 张", 0), 0u) << driver_->StatusField(1);
}

TEST_F(WindowInUse, SaveFilesInTheMenuSavesAsTheButtonDoes) {
    Scan();
    ScratchDir out;
    answerer_.ChooseFolder(out.Path());
    driver_->Choose("保存文件");
    EXPECT_EQ(answerer_.FoldersOffered(), 1);
    EXPECT_EQ(answerer_.Count("保存完成"), 1);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Saved(out, k), pictures_[static_cast<std::size_t>(k)]) << k;
}

TEST_F(WindowInUse, CancellingTheFolderChooserCancelsTheSave) {
    Scan();
    Save("");
    EXPECT_EQ(answerer_.FoldersOffered(), 1);
    EXPECT_TRUE(answerer_.Boxes().empty()) << "no 保存完成 for a save that did not happen";
}

TEST_F(WindowInUse, AFileAlreadyUnderAPicturesNameIsKeptAndThePictureSavedBesideIt) {
    Scan();
    ScratchDir out;
    std::filesystem::create_directory(out.File("10000001.jpg"));  // a directory in the way of one picture
    Save(out.Path());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const testing::AnsweredBox told = answerer_.Boxes()[0];
    EXPECT_TRUE(told.information) << told.text;
    EXPECT_EQ(told.text.rfind("保存完成\n", 0), 0u) << told.text;
    EXPECT_NE(told.text.find("1 张照片的文件名已被目录里的其他文件占用"), std::string::npos) << told.text;
    EXPECT_NE(told.text.find("10000001-1.jpg"), std::string::npos) << told.text;
    EXPECT_TRUE(std::filesystem::is_directory(out.File("10000001.jpg")));
    EXPECT_EQ(ReadWholeFile(out.File("10000001-1.jpg")), pictures_[1]);
    EXPECT_EQ(Saved(out, 0), pictures_[0]);
}

TEST_F(WindowInUse, AnUnreadableDriveWritesNoEmptyFiles) {
    Scan();
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = media_.File("removed.img"), .diskNumber = 0}});
    ScratchDir out;
    Save(out.Path());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_FALSE(answerer_.Boxes()[0].information);
    EXPECT_NE(answerer_.Boxes()[0].text.find("3 个文件未能保存"), std::string::npos) << answerer_.Boxes()[0].text;
    EXPECT_TRUE(testing::NamesIn(out.Path()).empty());
}

}  // namespace
}  // namespace velkor
