// Saving through the real window where Linux makes the target fail (a full tmpfs, a read-only
// mount, a folder removed under the save), and beside the image being recovered, watched by inotify.
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
