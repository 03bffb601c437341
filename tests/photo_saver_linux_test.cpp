// Saving through the real window where the target fails, and beside the image being recovered.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/unique_fd.h"
#include "platform/window_runtime_qt.h"
#include "shell/main_window.h"
#include "tests/support/qt_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_on_card.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::ModalAnswerer;
using testing::NamesIn;
using testing::ScratchDir;
using testing::TmpfsMount;

// Three pictures of ten sectors on an image in its own directory, scanned in the real window.
class SaveRig : public testing::WindowOnCard {
protected:
    void ScanImageNamed(const std::string& name) {
        OpenOnCard(name);
        Scan();
    }

    // The one message the save showed; fails the test when there was not exactly one.
    std::string SaveMessage() const {
        EXPECT_EQ(answerer_.messages.size(), 1u);
        return answerer_.messages.empty() ? std::string() : answerer_.messages.back().text.toStdString();
    }

    // True when directory holds picture k under its listed name, whole.
    bool HoldsPicture(const std::string& directory, int k) const {
        const ByteSet saved = ReadWholeFile(directory + "/" + std::to_string(10000000 + k) + ".jpg");
        return saved == pictures_[static_cast<std::size_t>(k)];
    }
};

TEST_F(SaveRig, AFullDiskKeepsOnlyWholeFilesAndTheMessageSaysHowManyFailedAndWhy) {
    ScanImageNamed("card.img");
    ScratchDir out;
    const TmpfsMount full(out.Path(), 3 * 4096, false);  // room for one picture of two pages
    if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    Save(out.Path());
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("2 个文件未能保存，1 个已保存"), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(ENOSPC)), std::string::npos) << message;
    EXPECT_NE(message.find("10000001.jpg"), std::string::npos) << "names the first file that failed: " << message;
    EXPECT_EQ(NamesIn(out.Path()), std::vector<std::string>{"10000000.jpg"}) << "no partial file under any name";
    EXPECT_TRUE(HoldsPicture(out.Path(), 0));
}

TEST_F(SaveRig, AnUnwritableDirectoryFailsEveryPictureAndTheMessageSaysWhy) {
    ScanImageNamed("card.img");
    ScratchDir out;
    // Root writes through any mode bits, so for root the directory is a read-only mount.
    const bool asRoot = geteuid() == 0;
    const TmpfsMount readOnly(out.Path(), 1 << 20, asRoot);
    if (asRoot && !readOnly.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    if (!asRoot) {
        ASSERT_EQ(chmod(out.Path().c_str(), 0555), 0);
    }
    Save(out.Path());
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("3 个文件未能保存，0 个已保存"), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(asRoot ? EROFS : EACCES)), std::string::npos) << message;
    EXPECT_TRUE(NamesIn(out.Path()).empty());
}

TEST_F(SaveRig, ADirectoryRemovedDuringTheSaveLeavesNoFileBehindAndTheMessageSaysWhy) {
    ScanImageNamed("card.img");
    ScratchDir parent;
    const std::string out = parent.File("out");
    fs::create_directory(out);
    QTimer remover;
    QObject::connect(&remover, &QTimer::timeout, [&] {
        if (!fs::exists(out + "/10000000.jpg")) return;
        remover.stop();
        fs::remove_all(out);
    });
    remover.start(0);
    Save(out);
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("2 个文件未能保存，1 个已保存"), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(ENOENT)), std::string::npos) << message;
    EXPECT_TRUE(NamesIn(parent.Path()).empty()) << "nothing was written anywhere else";
}


// The listed sectors belong to the drive they were found on: choosing another
// drive after the scan does not make the save read that one.
TEST_F(SaveRig, SavesFromTheScannedDriveWhateverIsSelectedAndFailsWhenItIsGone) {
    ScanImageNamed("card.img");
    const std::string other = media_.File("other.img");
    testing::SizeFile(other, 4000 * 512);
    ArrangeDriveTable({{0, image_}, {1, other}}, {{.letter = "C", .source = image_, .diskNumber = 0},
                                                  {.letter = "D", .source = other, .diskNumber = 1}});
    auto* drives = Find<QtDriveBox>("驱动器框1");
    drives->Refresh();
    ASSERT_TRUE(drives->SelectLetter("D"));
    ScratchDir out;
    Save(out.Path());
    EXPECT_EQ(SaveMessage(), "保存完成");
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(HoldsPicture(out.Path(), k)) << k;

    answerer_.messages.clear();
    const std::string removed = media_.File("removed.img");
    ASSERT_EQ(std::rename(image_.c_str(), removed.c_str()), 0);
    testing::SizeFile(image_, 4000 * 512);  // another card in the same reader, under the same name
    ScratchDir again;
    Save(again.Path());
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("3 个文件未能保存"), std::string::npos) << message;
    EXPECT_NE(message.find("已被移除或更换"), std::string::npos) << message;
    EXPECT_TRUE(NamesIn(again.Path()).empty()) << "no file of the other card's bytes";
}

// A photo whose sectors cannot all be read is still worth keeping, but counted; one
// that now lies beyond the end of the drive is a failure, never a file of zeros.
TEST_F(SaveRig, PhotosWithUnreadableSectorsAreSavedAndCountedAndPhotosBeyondTheEndFail) {
    ScanImageNamed("card.img");
    const std::string before = testing::FileFingerprint(image_);
    InjectReadFailure(image_, 103 * 512, 104 * 512 - 1);  // one sector of the first picture
    ASSERT_EQ(truncate(image_.c_str(), 1000 * 512), 0);   // the third picture (sector 1100) is gone
    ScratchDir out;
    Save(out.Path());
    ClearInjectedFaults();
    const std::string message = SaveMessage();
    EXPECT_EQ(answerer_.messages.back().icon, QMessageBox::Warning);
    EXPECT_NE(message.find("1 个文件未能保存，2 个已保存"), std::string::npos) << message;
    EXPECT_NE(message.find("10000002.jpg"), std::string::npos) << message;
    EXPECT_NE(message.find("超出驱动器的末尾"), std::string::npos) << message;
    EXPECT_NE(message.find("1 张照片有无法读取的扇区"), std::string::npos) << message;
    EXPECT_EQ(NamesIn(out.Path()), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    ByteSet partial = pictures_[0];
    std::fill(partial.begin() + 3 * 512, partial.begin() + 4 * 512, std::uint8_t{0});
    EXPECT_EQ(ReadWholeFile(out.File("10000000.jpg")), partial) << "the readable sectors are kept";
    EXPECT_TRUE(HoldsPicture(out.Path(), 1));
    EXPECT_NE(testing::FileFingerprint(image_), before) << "the test itself shortened the image";
}

// Two cards numbered alike saved into one folder: the first card's photos stay.
TEST_F(SaveRig, ASecondCardSavedIntoTheSameFolderKeepsTheFirstCardsPhotos) {
    ScanImageNamed("first.img");
    ScratchDir out;
    Save(out.Path());
    ASSERT_EQ(SaveMessage(), "保存完成");
    answerer_.messages.clear();
    Save(out.Path());
    EXPECT_EQ(SaveMessage(), "保存完成") << "the same photos again are already there";
    EXPECT_EQ(NamesIn(out.Path()).size(), 3u);

    const std::vector<ByteSet> first = pictures_;
    window_.reset();
    answerer_.messages.clear();
    image_ = media_.File("second.img");
    testing::SizeFile(image_, 4000 * 512);
    pictures_.clear();
    for (int i = 0; i < 3; ++i) {
        pictures_.push_back(testing::PadJpegTo(testing::MakeJpeg(120, 90, {.seed = static_cast<std::uint32_t>(40 + i)}), 10 * 512));
        testing::PlaceBytes(image_, (100 + 500 * i) * 512, pictures_.back());
    }
    testing::UseImageAsDriveC(image_, 4000);
    window_ = std::make_unique<MainWindow>();
    window_->Form().Show();
    Scan();
    Save(out.Path());
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("3 张照片的文件名已被目录里的其他文件占用"), std::string::npos) << message;
    for (int k = 0; k < 3; ++k) {
        const std::string name = std::to_string(10000000 + k);
        EXPECT_EQ(ReadWholeFile(out.File(name + ".jpg")), first[static_cast<std::size_t>(k)]) << k;
        EXPECT_EQ(ReadWholeFile(out.File(name + "-1.jpg")), pictures_[static_cast<std::size_t>(k)]) << k;
    }
}

class ReadOnlySource : public SaveRig {
protected:
    // Scans, previews every entry and saves them all into the image's own directory;
    // returns the inotify events the image saw meanwhile.
    std::uint32_t ScanPreviewAndSaveBesideTheImage(const UniqueFd& watch) {
        Scan();
        for (int k = 0; k < Tree().Count(); ++k) Tree().setCurrentItem(Tree().topLevelItem(k));
        EXPECT_TRUE(Find<QtPictureBox>("图片框1")->HasPicture());
        Save(media_.Path());
        return testing::SeenInotifyEvents(watch.get());
    }

    UniqueFd Watch() const {
        UniqueFd watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        EXPECT_GE(inotify_add_watch(watch.get(), image_.c_str(), IN_ALL_EVENTS), 0);
        return watch;
    }

    static constexpr std::uint32_t kChanges = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
};

TEST_F(ReadOnlySource, ScanPreviewAndSaveIntoTheImagesOwnDirectoryLeaveTheImageUntouched) {
    OpenOnCard("card.img");
    const std::string before = testing::FileFingerprint(image_);
    const UniqueFd watch = Watch();
    const std::uint32_t seen = ScanPreviewAndSaveBesideTheImage(watch);
    EXPECT_EQ(SaveMessage(), "保存完成");
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(HoldsPicture(media_.Path(), k)) << k;
    EXPECT_NE(seen & IN_CLOSE_NOWRITE, 0u) << "the image was never read, so the check proves nothing";
    EXPECT_EQ(seen & kChanges, 0u);
    EXPECT_EQ(testing::FileFingerprint(image_), before);
}

TEST_F(ReadOnlySource, APictureListedUnderTheImagesOwnNameIsSavedBesideItNotOverIt) {
    OpenOnCard("10000001.jpg");
    const std::string before = testing::FileFingerprint(image_);
    const UniqueFd watch = Watch();
    const std::uint32_t seen = ScanPreviewAndSaveBesideTheImage(watch);
    const std::string message = SaveMessage();
    EXPECT_NE(message.find("1 张照片的文件名已被目录里的其他文件占用"), std::string::npos) << message;
    EXPECT_EQ(seen & kChanges, 0u);
    EXPECT_EQ(testing::FileFingerprint(image_), before);
    EXPECT_TRUE(HoldsPicture(media_.Path(), 0));
    EXPECT_TRUE(HoldsPicture(media_.Path(), 2));
    EXPECT_EQ(ReadWholeFile(media_.File("10000001-1.jpg")), pictures_[1]);
    EXPECT_EQ(NamesIn(media_.Path()),
              (std::vector<std::string>{"10000000.jpg", "10000001-1.jpg", "10000001.jpg", "10000002.jpg"}));
}

}  // namespace
}  // namespace velkor
