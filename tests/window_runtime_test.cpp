// The window runtime's controls, offscreen.
#include "platform/window_runtime.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <cstdlib>

#include "platform/drive_table.h"
#include "platform/image_list.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

class WindowRuntime : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    QWidget window_;
};

TEST_F(WindowRuntime, TextStoreReadsLinesWithoutTheirEndsAndMissingLinesAsEmpty) {
    TextStore store(&window_);
    store.Append("12\r\n");
    store.Append("6\r\n34");
    store.Append("5\r\n");
    EXPECT_EQ(store.Line(0), "12");
    EXPECT_EQ(store.Line(1), "6");
    EXPECT_EQ(store.Line(2), "345") << "a line may be appended in pieces";
    EXPECT_EQ(store.Line(3), "");
    EXPECT_EQ(store.Line(99), "");
    EXPECT_EQ(store.Line(-1), "");
    store.Clear();
    EXPECT_EQ(store.Line(0), "");
    EXPECT_EQ(store.Text(), "");
}

TEST_F(WindowRuntime, TreeBoxKeepsEntriesInOrderWithTicks) {
    TreeBox tree(&window_);
    tree.Append("10000000.jpg");
    tree.Append("10000001.jpg");
    EXPECT_EQ(tree.Count(), 2);
    EXPECT_EQ(tree.Text(1).toStdString(), "10000001.jpg");
    EXPECT_EQ(tree.Tick(0), 0) << "entries start without a tick";
    tree.SetAllTicks(true);
    EXPECT_EQ(tree.Tick(0) + tree.Tick(1), 2);
    tree.SetTick(0, false);
    EXPECT_EQ(tree.Tick(0), 0);
    EXPECT_EQ(tree.Tick(1), 1);
    EXPECT_EQ(tree.Tick(5), 0);
    EXPECT_TRUE(tree.Text(5).isEmpty());
}

TEST_F(WindowRuntime, TreeBoxCurrentEntryIgnoresIndicesWithoutEntry) {
    TreeBox tree(&window_);
    tree.Append("a.jpg");
    tree.Append("b.jpg");
    tree.SetCurrentIndex(1);
    EXPECT_EQ(tree.CurrentIndex(), 1);
    tree.SetCurrentIndex(999999);
    EXPECT_EQ(tree.CurrentIndex(), -1);
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0);
}

TEST_F(WindowRuntime, PictureBoxShowsScaledPicturesAndClearsOnEmptyOrBadBytes) {
    PictureBox box(&window_);
    box.resize(488, 392);
    box.SetPicture(testing::MakeJpeg(2000, 1000));
    ASSERT_TRUE(box.HasPicture());
    EXPECT_EQ(box.pixmap().width(), 488) << "scaled down to fit";
    EXPECT_EQ(box.pixmap().height(), 244) << "aspect ratio kept";
    box.SetPicture(ByteSet{});
    EXPECT_FALSE(box.HasPicture());
    box.SetPicture(testing::MakeJpeg(40, 30));
    EXPECT_EQ(box.pixmap().width(), 40) << "small pictures are not enlarged";
    box.SetPicture(BytesOf("not a picture"));
    EXPECT_FALSE(box.HasPicture());
}

TEST_F(WindowRuntime, MeasuringControlMeasuresWithTheValidatorsUnit) {
    MeasuringControl control(&window_);
    control.SetPictureData(testing::MakeJpeg(31, 12));
    EXPECT_EQ(control.PictureWidth(), 31);
    EXPECT_EQ(control.PictureHeight(), 12);
    control.SetPictureData(ByteSet{});
    EXPECT_EQ(control.PictureWidth(), 0);
}

// The image given on the command line is the drive a scan reads unless the user picks another.
TEST_F(WindowRuntime, DriveBoxStartsOnTheFirstImageNamedAndKnowsEachSourceByteForByte) {
    testing::ScratchDir dir;
    const std::string earlier = dir.File("earlier.img");
    const std::string named = dir.File("named\n\xFF.img");
    for (const std::string& image : {earlier, named}) testing::SizeFile(image, 4096);
    // A letter is bound to its device for the life of the process, so the image listed before the named one
    // is this.
    setenv(kImagesVariable, EncodeImageList({earlier}).c_str(), 1);
    UseDiscoveredDriveTable();
    ListVolumes();
    setenv(kImagesVariable, EncodeImageList({named}).c_str(), 1);
    setenv(kExtraImagesVariable, EncodeImageList({earlier}).c_str(), 1);
    DriveBox box(&window_);
    const std::optional<std::string> letter = LetterOfFirstImage();
    unsetenv(kImagesVariable);
    unsetenv(kExtraImagesVariable);
    UseDiscoveredDriveTable();
    if (!letter) GTEST_SKIP() << "no letters left for images";

    EXPECT_EQ(box.SelectedLetter(), *letter);
    EXPECT_GT(box.currentIndex(), box.findData(QByteArray::fromStdString(earlier), kDriveSourceRole))
        << "not simply the first drive listed";
    EXPECT_EQ(box.currentData(kDriveSourceRole).toByteArray().toStdString(), named);
}

}  // namespace
}  // namespace velkor
