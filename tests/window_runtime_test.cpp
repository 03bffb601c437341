// The window runtime's controls, offscreen.
#include "platform/window_runtime_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>
#include <chrono>
#include <cstdlib>

#include "platform/drive_table.h"
#include "platform/image_list.h"
#include "tests/support/jpeg_edit.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

class WindowRuntime : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    QWidget window_;
};

TEST_F(WindowRuntime, TextStoreReadsLinesWithoutTheirEndsAndMissingLinesAsEmpty) {
    TextStore store;
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
    QtTreeBox tree(&window_);
    tree.Append("10000000.jpg");
    tree.Append("10000001.jpg");
    EXPECT_EQ(tree.Count(), 2);
    EXPECT_EQ(tree.Text(1), "10000001.jpg");
    EXPECT_EQ(tree.Tick(0), 0) << "entries start without a tick";
    tree.SetAllTicks(true);
    EXPECT_EQ(tree.Tick(0) + tree.Tick(1), 2);
    tree.SetTick(0, false);
    EXPECT_EQ(tree.Tick(0), 0);
    EXPECT_EQ(tree.Tick(1), 1);
    EXPECT_EQ(tree.Tick(5), 0);
    EXPECT_TRUE(tree.Text(5).empty());
}

TEST_F(WindowRuntime, TreeBoxCurrentEntryIgnoresIndicesWithoutEntry) {
    QtTreeBox tree(&window_);
    tree.Append("a.jpg");
    tree.Append("b.jpg");
    tree.SetCurrentIndex(1);
    EXPECT_EQ(tree.CurrentIndex(), 1);
    tree.SetCurrentIndex(999999);
    EXPECT_EQ(tree.CurrentIndex(), -1);
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0);
}

TEST_F(WindowRuntime, PictureBoxShowsScaledPicturesAndClearsOnEmptyBytes) {
    QtPictureBox box(&window_);
    box.resize(488, 392);
    box.SetPicture(testing::MakeJpeg(2000, 1000));
    ASSERT_TRUE(box.HasPicture());
    EXPECT_EQ(box.pixmap().width(), 488) << "scaled down to fit";
    EXPECT_EQ(box.pixmap().height(), 244) << "aspect ratio kept";
    EXPECT_TRUE(box.Notice().empty());
    box.SetPicture(ByteSet{});
    EXPECT_FALSE(box.HasPicture());
    EXPECT_TRUE(box.Notice().empty()) << "empty bytes clear the box";
    box.SetPicture(testing::MakeJpeg(40, 30));
    EXPECT_EQ(box.pixmap().width(), 40) << "small pictures are not enlarged";
    box.SetPicture(testing::MakeJpeg(600, 3000, {.progressive = true}));
    EXPECT_EQ(box.pixmap().size(), QSize(78, 392)) << "tall pictures fit the height";
}

TEST_F(WindowRuntime, PictureBoxSaysWhyItCannotPreviewInsteadOfFreezing) {
    QtPictureBox box(&window_);
    box.resize(488, 392);
    const ByteSet progressive = testing::MakeJpeg(64, 64, {.progressive = true});
    const struct {
        ByteSet bytes;
        const char* notice;
    } refused[] = {{testing::WithFrameSize(progressive, 32768, 32768), "无法预览：图片太大"},
                   {testing::WithScanCount(progressive, 3000), "无法预览：扫描次数过多"},
                   {BytesOf("not a picture"), "无法预览：不是可以解码的 JPEG"}};
    const ByteSet photo = testing::MakeJpeg(300, 200);
    for (const auto& sample : refused) {
        box.SetPicture(photo);
        ASSERT_TRUE(box.HasPicture());
        const auto start = std::chrono::steady_clock::now();
        box.SetPicture(sample.bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << sample.notice;
        EXPECT_EQ(box.Notice(), sample.notice);
        EXPECT_FALSE(box.HasPicture()) << sample.notice << ": the text replaces the picture";
        box.SetPicture(photo);
        EXPECT_TRUE(box.HasPicture());
        EXPECT_TRUE(box.Notice().empty()) << sample.notice << ": a picture replaces the text";
        box.SetPicture(sample.bytes);
        EXPECT_FALSE(box.HasPicture()) << sample.notice << ": the same text again after a picture";
        EXPECT_EQ(box.Notice(), sample.notice);
    }
}

TEST_F(WindowRuntime, PictureBoxShowsWhatATruncatedPhotoHolds) {
    QtPictureBox box(&window_);
    box.resize(488, 392);
    const ByteSet photo = testing::MakeJpeg(1200, 800);
    box.SetPicture(ByteView(photo).first(photo.size() / 2));
    ASSERT_TRUE(box.HasPicture());
    EXPECT_EQ(box.pixmap().size(), QSize(488, 325));
    const QImage shown = box.pixmap().toImage();
    EXPECT_NE(shown.pixelColor(244, 10), QColor(128, 128, 128)) << "the top is the photo";
    EXPECT_EQ(shown.pixelColor(244, 320), QColor(128, 128, 128)) << "the bottom is libjpeg's grey";
}

TEST_F(WindowRuntime, MeasuringControlMeasuresWithTheValidatorsUnit) {
    MeasuringControl control;
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
    QtDriveBox box(&window_);
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
