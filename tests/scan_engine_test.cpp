// The scan button's action on real image files, with the real picvet, offscreen.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>

#include "carving/candidate_validation.h"
#include "carving/candidate_cut.h"
#include "carving/scan_engine.h"
#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "device/raw_reader.h"
#include "platform/directory_lock.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/picture_measure.h"
#include "platform/window_runtime_qt.h"
#include "carving/result_tree.h"
#include "tests/support/jpeg_containers.h"
#include "tests/support/qt_support.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::JpegOptions;
using testing::MakeJpeg;
using testing::ModalAnswerer;
using testing::ScratchDir;

constexpr std::int64_t kChunk = 100000;

// Sectors a picture occupies when the bytes after it are zero: up to the sector holding its final D9.
std::int64_t SectorsOf(const ByteSet& jpeg) { return static_cast<std::int64_t>(jpeg.size() - 1) / 512 + 1; }

using testing::SectorPhoto;

// A window with the scan's controls, a program directory with picvet, and an image as drive C.
class ScanRig : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override { image_ = media_.File("card.img"); }

    void TearDown() override {
        ClearInjectedFaults();
        UseDiscoveredDriveTable();
    }

    // Registers the image (sized to sectors) as drive C and builds the window around it.
    void UseImage(std::int64_t sectors) {
        testing::UseImageAsDriveC(image_, sectors);
        window_ = std::make_unique<QtWindow>();
        c_.window = window_.get();
        c_.按钮1 = new QtButton(ToQString(ScanCaption()), window_.get());
        c_.驱动器框1 = drives_ = new QtDriveBox(window_.get());
        c_.进度条1 = bar_ = new QtProgressBar(window_.get());
        c_.树型框1 = tree_ = new QtTreeBox(window_.get());
        c_.代码编辑框1 = new QtTextStore(window_.get());
        c_.图片框1 = picture_ = new QtPictureBox(window_.get());
        picture_->resize(488, 392);
        SelectDrive(*c_.驱动器框1);
        ASSERT_EQ(TheScanState().DeviceSectors, sectors);
    }

    void Put(std::int64_t sector, const ByteSet& bytes, std::int64_t extraOffset = 0) {
        testing::PlaceBytes(image_, sector * 512 + extraOffset, bytes);
    }

    // Scans; a scan never writes to the drive it reads, so a card small enough to
    // hash cheaply must come out of every scan unchanged unless a test changes it itself.
    void Scan() {
        constexpr std::int64_t kHashedUpTo = 64 << 20;
        struct stat info {};
        const bool hashed = sourceMustStay_ && stat(image_.c_str(), &info) == 0 && info.st_size <= kHashedUpTo;
        const std::string before = hashed ? testing::FileFingerprint(image_) : std::string();
        ScanButtonAction(c_);
        if (hashed) {
            EXPECT_EQ(testing::FileFingerprint(image_), before) << "the scan wrote to its source";
        }
    }

    // Puts photo at sector 40 of a card whose first 2000 sectors hold old data, scans,
    // and expects exactly that photo, cut at its own last sector.
    void ExpectListedWholeAmidOldData(const ByteSet& photo, std::uint32_t seed) {
        std::mt19937 random(seed);
        ByteSet old(2000 * 512);
        for (auto& byte : old) byte = static_cast<std::uint8_t>(random() % 255 + 1);  // never a zero, so no FF D9 00 00
        Put(0, old);
        Put(40, photo);
        Scan();
        ASSERT_EQ(Names().size(), 1u);
        EXPECT_EQ(Location(0), At(40, SectorsOf(photo)));
    }

    // Scans, clicking Stop once ready() holds while the scan runs; returns how long the
    // scan took to end after the click.
    std::chrono::steady_clock::duration ScanStoppedWhen(const std::function<bool()>& ready) {
        std::chrono::steady_clock::time_point stoppedAt;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (!ready() || c_.按钮1->Text() != StopCaption().Utf8()) return;
            stopper.stop();
            stoppedAt = std::chrono::steady_clock::now();
            ScanButtonAction(c_);
        });
        stopper.start(1);
        Scan();
        return std::chrono::steady_clock::now() - stoppedAt;
    }

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

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < c_.树型框1->Count(); ++i) names.push_back(c_.树型框1->Text(i));
        return names;
    }
    std::string Line(int n) const { return c_.代码编辑框1->Line(n); }
    std::string Location(int entry) const { return Line(2 * entry) + "+" + Line(2 * entry + 1); }
    static std::string At(std::int64_t sector, std::int64_t length) {
        return std::to_string(sector) + "+" + std::to_string(length);
    }

    testing::ScratchProgramDirectory programDir_;
    ScratchDir media_;
    std::string image_;
    std::unique_ptr<QtWindow> window_;
    ScanControls c_;
    // The same controls as their Qt widgets, for what only a user sees.
    QtDriveBox* drives_ = nullptr;
    QtProgressBar* bar_ = nullptr;
    QtTreeBox* tree_ = nullptr;
    QtPictureBox* picture_ = nullptr;
    bool sourceMustStay_ = true;
    ModalAnswerer answerer_;
};

TEST_F(ScanRig, ListsPicturesAtSectorStartsTicksThemAndSaysDoneOnce) {
    UseImage(4000);
    const ByteSet first = MakeJpeg(120, 80, {.seed = 1});
    const ByteSet second = MakeJpeg(64, 200, {.seed = 2});
    Put(100, first);
    Put(900, second);
    Put(2000, MakeJpeg(90, 90, {.seed = 3}), 1);  // not at a sector start: never a candidate
    Scan();
    EXPECT_EQ(Names(), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    EXPECT_EQ(Location(0), At(100, SectorsOf(first)));
    EXPECT_EQ(Location(1), At(900, SectorsOf(second)));
    EXPECT_EQ(c_.代码编辑框1->Text(), "100\r\n" + std::to_string(SectorsOf(first)) + "\r\n900\r\n" +
                                          std::to_string(SectorsOf(second)) + "\r\n");
    EXPECT_EQ(c_.树型框1->Tick(0) + c_.树型框1->Tick(1), 2);
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_EQ(answerer_.messages[0].text, "扫描完成");
    EXPECT_EQ(answerer_.messages[0].title, "完成");
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    EXPECT_TRUE(drives_->isEnabled());
}

TEST_F(ScanRig, ListsOnlyCutsLongerThanFiveSectorsAndCutsAtTheMarkersSector) {
    UseImage(2000);
    Put(10, testing::PadJpegTo(MakeJpeg(16, 16), 2560));   // marker in sector 5 of 5
    Put(50, testing::PadJpegTo(MakeJpeg(16, 16), 2561));   // its D9 is the first byte of sector 6
    Put(100, testing::PadJpegTo(MakeJpeg(16, 16), 3072));  // FF at tail offset 3070: 6 sectors
    Put(200, testing::PadJpegTo(MakeJpeg(16, 16), 3073));  // FF at tail offset 3071: 7 sectors
    Scan();
    ASSERT_EQ(Names().size(), 3u);
    EXPECT_EQ(Location(0), At(50, 6));
    EXPECT_EQ(Location(1), At(100, 6));
    EXPECT_EQ(Location(2), At(200, 7));
}

TEST_F(ScanRig, AnEndOfPictureNotFollowedByTwoZerosDoesNotEndTheCutButTheListedLengthIsThePictures) {
    UseImage(2000);
    const ByteSet photo = MakeJpeg(100, 100);
    Put(10, photo);
    Put(10, ByteSet{0x11, 0x22}, static_cast<std::int64_t>(photo.size()));
    Put(30, ByteSet{0xFF, 0xD9, 0x00, 0x00}, 100);
    Scan();
    ASSERT_EQ(Names().size(), 1u);
    EXPECT_EQ(Location(0), At(10, SectorsOf(photo))) << "cut at the marker in sector 30, kept at the picture's own end";
}

// On a reused card the first FF D9 00 00 behind a photo lies in the next photo's
// zero-padded thumbnail: each is listed at its own length, not up to there.
TEST_F(ScanRig, APhotoWhoseFirstEndMarkerLiesInTheNextPhotosThumbnailIsListedAtItsOwnLength) {
    UseImage(3000);
    std::mt19937 random(5);
    ByteSet old(3000 * 512);
    for (auto& byte : old) byte = static_cast<std::uint8_t>(random() % 255 + 1);
    Put(0, old);
    ByteSet first = MakeJpeg(320, 240, {.seed = 8});
    first.push_back(0x5A);  // old data right behind its end: FF D9 5A is no end marker
    const ByteSet second = MakeJpeg(320, 240, {.exifThumbnail = true, .thumbnailPadding = 64, .seed = 9});
    const std::int64_t secondAt = 40 + SectorsOf(first) + 3;
    Put(40, first);
    Put(secondAt, second);
    Scan();
    ASSERT_GE(Names().size(), 2u);
    EXPECT_EQ(Location(0), At(40, SectorsOf(first)));
    EXPECT_EQ(Location(1), At(secondAt, SectorsOf(second)));
}

// A photo whose data does not reach its own end marker cleanly (cut short, or with
// another photo's sectors in the middle) is listed, ticked and saved as before, but
// shown as possibly damaged; an intact one is not.
TEST_F(ScanRig, TruncatedAndFragmentedPhotosAreListedAsPossiblyDamaged) {
    UseImage(2000);
    const ByteSet truncated = MakeJpeg(320, 240, {.seed = 21});
    const ByteSet whole = MakeJpeg(200, 150, {.seed = 22});
    const ByteSet fragmented = MakeJpeg(320, 240, {.seed = 23});
    const ByteSet inside = MakeJpeg(160, 120, {.seed = 24});
    Put(10, ByteSet(truncated.begin(), truncated.begin() + static_cast<std::ptrdiff_t>(truncated.size() * 3 / 5)));
    Put(200, whole);
    // The fragmented photo's first 16 sectors, another photo, then the rest of it.
    const std::size_t split = 16 * 512;
    ASSERT_LT(split, fragmented.size());
    Put(400, ByteSet(fragmented.begin(), fragmented.begin() + static_cast<std::ptrdiff_t>(split)));
    Put(430, inside);
    Put(430 + SectorsOf(inside), ByteSet(fragmented.begin() + static_cast<std::ptrdiff_t>(split), fragmented.end()));
    Scan();
    ASSERT_EQ(Names().size(), 4u);
    const std::vector<bool> damaged = {true, false, true, false};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(c_.树型框1->IsDamaged(k), damaged[static_cast<std::size_t>(k)]) << Location(k);
        EXPECT_EQ(c_.树型框1->Tick(k), 1) << "listed and ticked all the same";
        EXPECT_EQ(tree_->topLevelItem(k)->toolTip(0).startsWith("可能不完整"), damaged[static_cast<std::size_t>(k)]);
        EXPECT_EQ(c_.树型框1->Text(k), std::to_string(10000000 + k) + ".jpg") << "the entry text is unchanged";
    }
    EXPECT_EQ(c_.树型框1->DamagedCount(), 2);
}

// What a photo declares behind its end marker belongs to it: the further images of
// an MPF index, and the video of a motion photo (which begins 00 00 00, so the first
// FF D9 00 00 is the photo's own end and the video used to be dropped).
TEST_F(ScanRig, APhotosMpfImagesAndAMotionPhotosVideoAreKeptWithIt) {
    UseImage(4000);
    const ByteSet mpf = testing::MultiPictureFile(MakeJpeg(300, 200, {.seed = 1}), {MakeJpeg(160, 120, {.seed = 2})}, true);
    const ByteSet video = testing::VideoBytes(200000);
    ByteSet motion = testing::WithXmp(MakeJpeg(300, 200, {.seed = 3}),
                                      testing::XmpPacket("GCamera:MicroVideoOffset=\"" + std::to_string(video.size()) + "\""));
    const std::size_t photoBytes = motion.size();
    motion.insert(motion.end(), video.begin(), video.end());
    Put(100, mpf);
    Put(1000, motion);
    Scan();
    ASSERT_EQ(Names().size(), 2u);
    EXPECT_EQ(Location(0), At(100, SectorsOf(mpf)));
    EXPECT_EQ(Location(1), At(1000, SectorsOf(motion)));
    ASSERT_GT(SectorsOf(motion), static_cast<std::int64_t>(photoBytes) / 512 + 300) << "the video is kept";
}

TEST_F(ScanRig, FindsAPhotoWhoseEndLiesInTheNextChunk) {
    UseImage(2 * kChunk + 10);
    Put(kChunk - 12, SectorPhoto(160, 120, 1, 40));
    Put(kChunk + 40, SectorPhoto(60, 50, 3, 9));     // in the chunk read early for the one before it
    Put(2 * kChunk - 1, SectorPhoto(50, 40, 5, 8));  // starts in the chunk's last slot
    Scan();
    ASSERT_EQ(Names().size(), 3u);
    EXPECT_EQ(Location(0), At(kChunk - 12, 40));
    EXPECT_EQ(Location(1), At(kChunk + 40, 9));
    EXPECT_EQ(Location(2), At(2 * kChunk - 1, 8));
}

// Large-sensor cameras write fine JPEGs of 40 to 80 MB: one whose end lies beyond the
// 100000 sectors read from its start is sought on, and listed whole.
TEST_F(ScanRig, APhotoLongerThanTheLongSearchBlockIsListedWhole) {
    constexpr int kWidth = 4100;
    constexpr int kHeight = 3600;
    std::mt19937 random(12);
    std::vector<std::uint8_t> noise(std::size_t{kWidth} * kHeight * 3);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    const ByteSet photo =
        synth::EncodePixels(noise, kWidth, kHeight, {.quality = 100, .horizontalSampling = 1, .verticalSampling = 1});
    noise = {};
    ASSERT_GT(SectorsOf(photo), kChunk + 10000) << photo.size();
    ASSERT_LT(SectorsOf(photo), 2 * kChunk) << photo.size();
    constexpr std::int64_t kAt = 3000;
    const std::int64_t after = kAt + SectorsOf(photo) + 100;
    UseImage(after + 200);
    Put(kAt, photo);
    Put(after, SectorPhoto(64, 64, 1));
    Scan();
    ASSERT_EQ(Names().size(), 2u) << Location(0) << " of " << SectorsOf(photo);
    EXPECT_EQ(Location(0), At(kAt, SectorsOf(photo)));
    EXPECT_FALSE(c_.树型框1->IsDamaged(0));
    EXPECT_EQ(Location(1), At(after, 10));
    // The preview and the save read a listed photo whole, however long.
    const ByteSet listed = ReadVolumeSectors("C", kAt, SectorsOf(photo));
    ASSERT_GE(listed.size(), photo.size());
    EXPECT_TRUE(std::equal(photo.begin(), photo.end(), listed.begin()));
}

TEST_F(ScanRig, AThumbnailFollowedByZeroPaddingDoesNotCutThePhotoShort) {
    UseImage(2000);
    const ByteSet photo = MakeJpeg(400, 300, {.exifThumbnail = true, .thumbnailPadding = 64});
    Put(20, photo);
    Scan();
    ASSERT_EQ(Names().size(), 1u);
    EXPECT_EQ(Location(0), At(20, SectorsOf(photo)));
}

TEST_F(ScanRig, APhotoFollowedByOldDataIsCutAtItsOwnEnd) {
    UseImage(3000);
    const ByteSet photo = MakeJpeg(320, 240, {.exifThumbnail = true});
    ExpectListedWholeAmidOldData(photo, 11);
}

TEST_F(ScanRig, AThumbnailEndingInTheSectorThatCompletesTheHeadersIsNotThePhotosEnd) {
    UseImage(3000);
    const ByteSet plain = MakeJpeg(320, 240, {.grayscale = true, .exifThumbnail = true});
    const std::int64_t thumbnailEnd = FindBytes(plain, ByteSet{0xFF, 0xD9});
    const std::int64_t dataStart = FirstScanDataOffset(plain);
    ASSERT_GT(dataStart, thumbnailEnd);
    ASSERT_LT(dataStart - thumbnailEnd, 400) << "the headers after the thumbnail must fit in one sector";
    // Shifted so the thumbnail's FF D9 and the end of the headers share one sector.
    const std::size_t shift = static_cast<std::size_t>((512 + 20 - (thumbnailEnd + 1) % 512) % 512) + 512;
    const ByteSet photo = testing::PadJpegTo(plain, plain.size() + shift);
    ASSERT_EQ(CutSectorsForMarkerAt(FindBytes(photo, ByteSet{0xFF, 0xD9})), FirstScanDataOffset(photo) / 512 + 1);
    ExpectListedWholeAmidOldData(photo, 3);
}

// jpeg with its EXIF segment moved to just before its first scan, where cameras may
// write it too: then only the scan header stands between the thumbnail's end and the
// photo's data, even for colour headers with their longer tables.
ByteSet WithExifBeforeScan(const ByteSet& jpeg) {
    std::size_t exif = 0;
    std::size_t exifEnd = 0;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        const std::size_t next = at + 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
        if (jpeg[at + 1] == 0xE1) exif = at, exifEnd = next;
        at = next;
    }
    if (exif == 0 || at + 4 > jpeg.size()) throw std::runtime_error("no EXIF segment before a scan");
    ByteSet moved(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(exif));
    moved.insert(moved.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(exifEnd), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
    moved.insert(moved.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(exif), jpeg.begin() + static_cast<std::ptrdiff_t>(exifEnd));
    moved.insert(moved.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return moved;
}

// The same with zeros behind the thumbnail, so its end is a full FF D9 00 00 marker in
// the sector that completes the headers: a cut there passed the header check and the
// photo was lost (a grayscale one) or kept as its headers only (a colour one).
TEST_F(ScanRig, AZeroPaddedThumbnailEndingInTheSectorThatCompletesTheHeadersIsNotThePhotosEnd) {
    for (const bool grayscale : {true, false}) {
        for (const std::uint16_t padding : {2, 64}) {
            UseImage(3000);
            const ByteSet plain = WithExifBeforeScan(MakeJpeg(
                320, 240, {.grayscale = grayscale, .exifThumbnail = true, .thumbnailPadding = padding, .seed = 4}));
            ASSERT_TRUE(IsLargeEnough(MeasurePicture(plain)));
            const std::int64_t thumbnailEnd = FindBytes(plain, ByteSet{0xFF, 0xD9, 0x00, 0x00});
            const std::int64_t dataStart = FirstScanDataOffset(plain);
            ASSERT_GT(thumbnailEnd, 0);
            ASSERT_GT(dataStart, thumbnailEnd);
            ASSERT_LT(dataStart - thumbnailEnd, 400) << "the headers after the thumbnail must fit in one sector";
            const std::size_t shift = static_cast<std::size_t>((512 + 20 - (thumbnailEnd + 1) % 512) % 512) + 512;
            const ByteSet photo = testing::PadJpegTo(plain, plain.size() + shift);
            ASSERT_EQ(CutSectorsForMarkerAt(FindBytes(photo, ByteSet{0xFF, 0xD9, 0x00, 0x00})),
                      FirstScanDataOffset(photo) / 512 + 1)
                << "the thumbnail's marker lies in the sector where the headers end";
            ExpectListedWholeAmidOldData(photo, padding + (grayscale ? 0 : 1));
        }
    }
}

TEST_F(ScanRig, ACandidateRejectedOnceLeavesNoTraceAndCostsNoFurtherRuns) {
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

// Hostile media cost time in proportion to their size: a start in every sector with
// no end anywhere, or with an end in every sector, costs no validator run at all
// (no cut holds headers that end, or every cut that does is too short to be listed).
TEST_F(ScanRig, HostileRunsOfStartsCostNoValidatorRuns) {
    ByteSet withoutEnd(512, 0);
    withoutEnd[0] = 0xFF, withoutEnd[1] = 0xD8, withoutEnd[2] = 0xFF, withoutEnd[3] = 0xE0;
    ByteSet withEnd = withoutEnd;
    withEnd[508] = 0xFF, withEnd[509] = 0xD9;
    const ByteSet headers = MakeJpeg(64, 64, {.grayscale = true});
    ByteSet withHeadersAndEnd(headers.begin(), headers.begin() + FirstScanDataOffset(headers));
    withHeadersAndEnd.resize(512, 0x11);
    withHeadersAndEnd[500] = 0xFF, withHeadersAndEnd[501] = 0xD9, withHeadersAndEnd[502] = 0, withHeadersAndEnd[503] = 0;
    ASSERT_LE(FirstScanDataOffset(headers), 500);
    for (const ByteSet* sector : {&withoutEnd, &withEnd, &withHeadersAndEnd}) {
        UseImage(3000);
        for (std::int64_t k = 0; k < 3000; ++k) Put(k, *sector);
        CountValidatorRuns();
        Scan();
        EXPECT_TRUE(Names().empty());
        EXPECT_EQ(ValidatorRuns(), 0);
        ASSERT_EQ(answerer_.messages.size(), 1u);
        EXPECT_EQ(answerer_.messages[0].text, "扫描完成");
        answerer_.messages.clear();
    }
}

TEST_F(ScanRig, ANewScanClearsTheListAndNumbersAgain) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    Put(30, SectorPhoto(64, 64, 4));
    Scan();
    c_.树型框1->SetTick(0, false);
    Scan();
    EXPECT_EQ(Names(), (std::vector<std::string>{"10000000.jpg", "10000001.jpg"}));
    EXPECT_EQ(c_.代码编辑框1->Line(4), "");
    EXPECT_EQ(c_.树型框1->Tick(0), 1);
}

TEST_F(ScanRig, PreviewShowsTheEntrysOwnSectors) {
    UseImage(2000);
    Put(0, SectorPhoto(50, 40, 3));  // at sector 0: its start line reads 0, its length line does not
    Put(10, SectorPhoto(40, 30, 1));
    Put(400, SectorPhoto(70, 20, 2));
    Scan();
    ASSERT_EQ(Names().size(), 3u);
    c_.树型框1->SetCurrentIndex(0);
    Preview(c_);
    ASSERT_TRUE(c_.图片框1->HasPicture()) << "an entry at sector 0 shows";
    EXPECT_EQ(picture_->pixmap().size(), QSize(50, 40));
    c_.树型框1->SetCurrentIndex(2);
    Preview(c_);
    ASSERT_TRUE(c_.图片框1->HasPicture());
    EXPECT_EQ(picture_->pixmap().size(), QSize(70, 20));
    c_.树型框1->SetCurrentIndex(kNoEntryIndex);
    Preview(c_);
    EXPECT_FALSE(c_.图片框1->HasPicture());
}

TEST_F(ScanRig, StopKeepsWhatWasFoundTicksItAndSaysDoneOnce) {
    UseImage(3 * kChunk);
    Put(10, SectorPhoto(64, 64, 1));
    Put(2 * kChunk + 10, SectorPhoto(64, 64, 9));
    const auto stopTook = ScanStoppedWhen([&] { return c_.树型框1->Count() == 1; });
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    EXPECT_EQ(c_.树型框1->Tick(0), 1);
    EXPECT_EQ(answerer_.Count("扫描完成"), 1);
    EXPECT_EQ(bar_->value(), 100);
    EXPECT_GT(TheScanState().ScanPosition, TheScanState().DeviceSectors);
    EXPECT_LT(stopTook, std::chrono::milliseconds(500)) << "Stop must take effect at once";
}

// On a slow drive the scan reads the next chunk while it works on the current one, and
// waits for it with the window's events running: Stop is answered while it is still coming.
TEST_F(ScanRig, OnASlowDriveStopIsAnsweredWhileTheNextChunkIsStillComing) {
    UseImage(3 * kChunk);
    Put(10, SectorPhoto(64, 64, 1));
    Put(2 * kChunk + 10, SectorPhoto(64, 64, 9));
    SimulateBandwidth(image_, 50'000'000);  // a chunk takes a second
    const auto stopTook = ScanStoppedWhen([&] { return c_.树型框1->Count() == 1 && TheScanState().ScanPosition == kChunk; });
    EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"});
    EXPECT_EQ(answerer_.Count("扫描完成"), 1);
    EXPECT_LT(stopTook, std::chrono::milliseconds(500)) << "Stop must not wait for the chunk, which takes a second";
}

TEST_F(ScanRig, AScanThatCannotWorkSaysWhyAndDoesNotStart) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    Scan();
    ASSERT_EQ(Names().size(), 1u);
    const auto refuses = [&](const char* why) {
        answerer_.messages.clear();
        Scan();
        ASSERT_EQ(answerer_.messages.size(), 1u) << why;
        EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning) << why;
        EXPECT_EQ(answerer_.Count("扫描完成"), 0) << why;
        EXPECT_EQ(Names().size(), 1u) << why << ": the earlier results stay";
        EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8()) << why;
        EXPECT_TRUE(drives_->isEnabled()) << why;
    };
    std::remove(programDir_.File("picvet").c_str());
    refuses("validator missing");
    EXPECT_TRUE(answerer_.messages[0].text.contains("picvet"));
    testing::CopyDeliverable("picvet", programDir_.Path());
    if (geteuid() != 0) {
        chmod(programDir_.Path().c_str(), 0555);
        refuses("program directory not writable");
        chmod(programDir_.Path().c_str(), 0755);
    }
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = media_.File("gone.img"), .diskNumber = 0}});
    refuses("volume cannot be opened");
    EXPECT_TRUE(answerer_.messages[0].text.contains("C:"));
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = image_, .diskNumber = 0}});
    TheScanState().DeviceSectors = 0;
    refuses("size unknown");
}

TEST_F(ScanRig, AValidatorLostMidScanStopsTheScanWithAMessage) {
    UseImage(3 * kChunk);
    Put(2 * kChunk + 10, SectorPhoto(64, 64, 1));
    QTimer remover;
    QObject::connect(&remover, &QTimer::timeout, [&] {
        if (c_.按钮1->Text() == StopCaption().Utf8()) {
            remover.stop();
            std::remove(programDir_.File("picvet").c_str());
        }
    });
    remover.start(1);
    Scan();
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
}

TEST_F(ScanRig, UnreadableSectorsCostOnlyThePicturesInsideThemAndTheMessageCountsThem) {
    UseImage(3 * kChunk);
    Put(100, SectorPhoto(64, 64, 1));
    Put(600, SectorPhoto(64, 64, 2));          // inside the unreadable range
    Put(1200, SectorPhoto(64, 64, 3));         // behind it, in the same chunk
    Put(kChunk + 50, SectorPhoto(64, 64, 4));  // in the next chunk
    const std::string before = testing::FileFingerprint(image_);
    InjectReadFailure(image_, 590 * 512, 620 * 512 - 1);
    Scan();
    ASSERT_EQ(Names().size(), 3u);
    EXPECT_EQ(Location(0), At(100, 10));
    EXPECT_EQ(Location(1), At(1200, 10));
    EXPECT_EQ(Location(2), At(kChunk + 50, 10));
    ASSERT_EQ(answerer_.messages.size(), 1u);
    const QString text = answerer_.messages[0].text;
    EXPECT_TRUE(text.startsWith("扫描完成\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("有 30 个扇区无法读取")) << text.toStdString();
    EXPECT_TRUE(text.contains("第 590 扇区")) << text.toStdString();
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(testing::FileFingerprint(image_), before);
}

// The drive changes while the first chunk is worked on, when the second one is being
// read ahead already and the third not yet.
TEST_F(ScanRig, ADriveShortenedMidScanCountsWhatItNoLongerHoldsAndOneRemovedEndsTheScan) {
    sourceMustStay_ = false;  // the test shortens and removes it itself
    for (const bool removed : {false, true}) {
        UseImage(3 * kChunk);
        Put(10, SectorPhoto(64, 64, 1));
        Put(2 * kChunk + 60000, SectorPhoto(64, 64, 2));
        QTimer vanisher;
        QObject::connect(&vanisher, &QTimer::timeout, [&] {
            if (c_.树型框1->Count() != 1) return;
            vanisher.stop();
            ASSERT_EQ(removed ? std::remove(image_.c_str()) : truncate(image_.c_str(), (2 * kChunk + kChunk / 2) * 512), 0);
        });
        vanisher.start(1);
        answerer_.messages.clear();
        Scan();
        const std::string how = removed ? "removed" : "truncated";
        EXPECT_EQ(Names(), std::vector<std::string>{"10000000.jpg"}) << how;
        ASSERT_EQ(answerer_.messages.size(), 1u) << how;
        const QString text = answerer_.messages[0].text;
        EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning) << how;
        if (removed) {
            EXPECT_FALSE(text.startsWith("扫描完成")) << text.toStdString();
            EXPECT_TRUE(text.contains("已无法读取")) << text.toStdString();
            EXPECT_TRUE(text.contains(std::strerror(ENOENT))) << text.toStdString();
        } else {
            // The third chunk is read after the cut: its second half lies beyond the new end.
            EXPECT_TRUE(text.contains("有 50000 个扇区无法读取")) << text.toStdString();
            EXPECT_TRUE(text.contains("第 250000 扇区")) << text.toStdString();
        }
        EXPECT_GE(TheScanState().ScanPosition, TheScanState().DeviceSectors) << how;
        c_.树型框1->SetCurrentIndex(0);
        Preview(c_);
        EXPECT_EQ(c_.图片框1->HasPicture(), !removed) << "the first picture lies before the cut";
    }
}

// A validator that fails from the start is a broken validator: the scan stops and
// says so instead of reporting an empty card.
TEST_F(ScanRig, AValidatorThatCannotJudgeStopsTheScanAndSaysWhatHappened) {
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
        answerer_.messages.clear();
        const auto begin = std::chrono::steady_clock::now();
        Scan();
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_TRUE(Names().empty()) << c.script;
        ASSERT_EQ(answerer_.messages.size(), 1u) << c.script;
        const QString text = answerer_.messages[0].text;
        EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning) << c.script;
        EXPECT_FALSE(text.startsWith("扫描完成")) << text.toStdString();
        EXPECT_TRUE(text.contains("picvet")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.told)) << text.toStdString();
        EXPECT_LT(took, std::chrono::milliseconds(2 * kLimitMs)) << c.script << ": a hang costs one time limit at most";
    }
    SetValidatorTimeLimit(previous);
}

// One hostile candidate that crashes the validator is rejected; the others are judged
// and the completion message counts the one that could not be.
TEST_F(ScanRig, ACandidateThatCrashesTheValidatorIsCountedAndTheRestAreJudged) {
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
    ASSERT_EQ(answerer_.messages.size(), 1u);
    const QString text = answerer_.messages[0].text;
    EXPECT_TRUE(text.startsWith("扫描完成\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("有 1 个候选照片无法判定")) << text.toStdString();
    EXPECT_TRUE(text.contains("信号 11")) << text.toStdString();
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning);
}

TEST_F(ScanRig, AnotherCopyScanningFromTheSameProgramDirectoryIsRefused) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    bool heldDuringScan = false;
    QTimer prober;
    QObject::connect(&prober, &QTimer::timeout, [&] {
        if (c_.按钮1->Text() != StopCaption().Utf8() || heldDuringScan) return;
        bool heldElsewhere = false;
        std::string failure;
        heldDuringScan = !DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure) && heldElsewhere;
    });
    prober.start(0);
    Scan();
    prober.stop();
    ASSERT_EQ(Names().size(), 1u);
    EXPECT_TRUE(heldDuringScan) << "a running scan holds the program directory";
    {
        bool heldElsewhere = false;
        std::string failure;
        const auto otherCopy = DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure);
        ASSERT_TRUE(otherCopy.has_value()) << "a finished scan lets go of it: " << failure;
        answerer_.messages.clear();
        Scan();
        ASSERT_EQ(answerer_.messages.size(), 1u);
        EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(answerer_.messages[0].text.contains("另一个 Velkor")) << answerer_.messages[0].text.toStdString();
        EXPECT_TRUE(answerer_.messages[0].text.contains(QString::fromStdString(programDir_.Path())));
        EXPECT_EQ(Names().size(), 1u) << "the earlier results stay";
        EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    }
    answerer_.messages.clear();
    Scan();
    EXPECT_EQ(answerer_.Count("扫描完成"), 1) << "refused only while the other copy holds it";
}

// Names in the program directory that are not plain files of our own are never
// written through, and the drive being scanned is never a scratch file.
TEST_F(ScanRig, ScratchNamesThatAreNotOurOwnFilesRefuseTheScanAndStayUntouched) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    const std::string kept = media_.File("kept.img");
    testing::PlaceBytes(kept, 0, SectorPhoto(64, 64, 5));
    const std::string keptBefore = testing::FileFingerprint(kept);
    const std::string imageBefore = testing::FileFingerprint(image_);
    const auto refuses = [&](const std::string& name, const char* told) {
        answerer_.messages.clear();
        Scan();
        ASSERT_EQ(answerer_.messages.size(), 1u) << name;
        const QString text = answerer_.messages[0].text;
        EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning) << name;
        EXPECT_TRUE(text.contains(QString::fromStdString(name))) << text.toStdString();
        EXPECT_TRUE(text.contains(told)) << text.toStdString();
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
    refuses(inside, "就是程序目录里的临时文件");
    EXPECT_EQ(testing::FileFingerprint(inside), imageBefore);
}

TEST_F(ScanRig, AnImageSmallerThanASectorIsRefusedAndAnEmptyOneIsCalledEmpty) {
    UseImage(2000);
    // Stray bytes where a partition table would lie must not give the image a size.
    ByteSet stray(511, 0);
    stray[450] = 0x07;
    stray[460] = 0x10;
    for (const std::size_t size : {std::size_t{0}, std::size_t{511}}) {
        const std::string tiny = media_.File("tiny" + std::to_string(size) + ".img");
        testing::PlaceBytes(tiny, 0, ByteView(stray).first(size));
        testing::SizeFile(tiny, static_cast<std::int64_t>(size));
        ArrangeDriveTable({{0, tiny}}, {{.letter = "C", .source = tiny, .diskNumber = 0}});
        SelectDrive(*c_.驱动器框1);
        EXPECT_EQ(TheScanState().DeviceSectors, 0) << size;
        answerer_.messages.clear();
        Scan();
        ASSERT_EQ(answerer_.messages.size(), 1u);
        const QString text = answerer_.messages[0].text;
        EXPECT_TRUE(text.contains(size == 0 ? "是空的" : "只有 511 字节")) << text.toStdString();
        EXPECT_FALSE(text.contains("大小")) << "not a drive of unknown size: " << text.toStdString();
    }
}

TEST_F(ScanRig, ADriveReplacedOrResizedSinceItWasChosenIsRefused) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    const std::string first = media_.File("first.img");
    ASSERT_EQ(std::rename(image_.c_str(), first.c_str()), 0);
    testing::SizeFile(image_, 2000 * 512);  // another card under the same name
    Scan();
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_TRUE(answerer_.messages[0].text.contains("已被更换")) << answerer_.messages[0].text.toStdString();
    EXPECT_EQ(TheScanState().ScanPosition, 0) << "nothing was read";

    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    testing::SizeFile(image_, 4000 * 512);
    answerer_.messages.clear();
    Scan();
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_TRUE(answerer_.messages[0].text.contains("改变了大小")) << answerer_.messages[0].text.toStdString();
    SelectDrive(*c_.驱动器框1);
    answerer_.messages.clear();
    Scan();
    EXPECT_EQ(answerer_.Count("扫描完成"), 1) << "chosen again, it scans";
    EXPECT_EQ(Names().size(), 1u);
}

// Writes of the scratch files that fail stop the scan with the file and the reason,
// whether the disk is full or the process may not write files that large.
TEST_F(ScanRig, AScratchFileThatCannotBeWrittenStopsTheScanWithTheReason) {
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
    ASSERT_EQ(answerer_.messages.size(), 1u);
    const QString text = answerer_.messages[0].text;
    EXPECT_FALSE(text.startsWith("扫描完成")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(programDir_.File("tem.tem")))) << text.toStdString();
    EXPECT_TRUE(text.contains(std::strerror(EFBIG))) << text.toStdString();
}

// Every candidate is written to the program directory: on the disk being recovered
// those writes would land on the free space that holds the deleted photos.
TEST_F(ScanRig, AProgramDirectoryOnTheDiskBeingRecoveredRefusesTheScanBeforeAnyWrite) {
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
    Scan();
    OverrideProgramDirectory(programDir_.Path());
    ASSERT_EQ(answerer_.messages.size(), 1u);
    const QString text = answerer_.messages[0].text;
    EXPECT_TRUE(text.contains("程序目录")) << text.toStdString();
    EXPECT_TRUE(text.contains("另一块磁盘")) << "says what to do: " << text.toStdString();
    struct stat info {};
    EXPECT_NE(stat((programDirectory + "/tem.tem").c_str(), &info), 0) << "no candidate was written there";
    EXPECT_NE(stat((programDirectory + "/velkor.lock").c_str(), &info), 0);
}

TEST(StopPosition, AlwaysLiesBeyondTheDrive) {
    EXPECT_EQ(StopPositionFor(1000), kStopPosition);
    EXPECT_GT(StopPositionFor(kStopPosition), kStopPosition);
    EXPECT_GT(StopPositionFor(std::int64_t{1} << 40), std::int64_t{1} << 40);
}

}  // namespace
}  // namespace velkor
