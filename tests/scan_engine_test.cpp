// The scan button's action on real image files, with the real picvet, on the window runtime's
// own controls: the same cases run on Qt and on Win32.
#include "carving/scan_engine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "carving/candidate_cut.h"
#include "carving/candidate_validation.h"
#include "carving/result_tree.h"
#include "device/raw_reader.h"
#include "device/scan_state.h"
#include "platform/directory_lock.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/picture_measure.h"
#include "tests/support/jpeg_containers.h"
#include "tests/support/scan_rig.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::JpegOptions;
using testing::MakeJpeg;
using testing::SectorPhoto;

constexpr std::int64_t kChunk = 100000;

// Sectors a picture occupies when the bytes after it are zero: up to the sector holding its final D9.
std::int64_t SectorsOf(const ByteSet& jpeg) { return static_cast<std::int64_t>(jpeg.size() - 1) / 512 + 1; }

class ScanRig : public testing::ScanRig {
protected:
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
    // scan took to end after the click, up to the completion box.
    std::chrono::steady_clock::duration ScanStoppedWhen(const std::function<bool()>& ready) {
        std::chrono::steady_clock::time_point stoppedAt;
        const During stopping = WhileScanning([&] {
            if (!ready() || c_.按钮1->Text() != StopCaption().Utf8()) return false;
            stoppedAt = std::chrono::steady_clock::now();
            ScanButtonAction(c_);
            return true;
        });
        Scan();
        return answerer_.Boxes().empty() ? std::chrono::hours(1) : answerer_.Boxes()[0].shownAt - stoppedAt;
    }

    // The size the picture box shows its picture at, as "WxH".
    std::string Shown() const {
        const PictureSize shown = c_.图片框1->ShownSize();
        return std::to_string(shown.width) + "x" + std::to_string(shown.height);
    }
};

TEST_F(ScanRig, ListsPicturesAtSectorStartsTicksThemAndSaysDoneOnce) {
    UseImage(4000);
    // Padded past the five sectors below which a cut is not listed, whatever the encoder's sizes.
    const ByteSet first = testing::PadJpegTo(MakeJpeg(120, 80, {.seed = 1}), 7 * 512 + 100);
    const ByteSet second = testing::PadJpegTo(MakeJpeg(64, 200, {.seed = 2}), 9 * 512 + 30);
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
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_EQ(OnlyBox().text, "扫描完成");
    EXPECT_EQ(OnlyBox().title, "完成");
    EXPECT_TRUE(OnlyBox().information);
    EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    EXPECT_TRUE(c_.驱动器框1->Enabled());
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
        EXPECT_EQ(c_.树型框1->WhyDamaged(k).rfind("可能不完整", 0) == 0, damaged[static_cast<std::size_t>(k)]) << "its tooltip";
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
    const JpegOptions finest{.quality = 100, .horizontalSampling = 1, .verticalSampling = 1};
    if (!testing::CanEncode(finest)) GTEST_SKIP() << "this system's encoder cannot write the finest coding";
    constexpr int kWidth = 4100;
    constexpr int kHeight = 3600;
    std::mt19937 random(12);
    std::vector<std::uint8_t> noise(std::size_t{kWidth} * kHeight * 3);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    const ByteSet photo =
        synth::EncodePixels(noise, kWidth, kHeight, finest);
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
        // A stand-in that rejects every candidate and keeps a line for each time it ran.
        const std::string validator = testing::StandIn(programDir_.File("picvet"), "answer 0");
        std::remove((validator + ".runs").c_str());
        Scan();
        EXPECT_TRUE(Names().empty());
        EXPECT_FALSE(std::filesystem::exists(validator + ".runs")) << "the validator ran";
        ASSERT_EQ(answerer_.Boxes().size(), 1u);
        EXPECT_EQ(OnlyBox().text, "扫描完成");
        answerer_.Forget();
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
    EXPECT_EQ(Shown(), "50x40");
    c_.树型框1->SetCurrentIndex(2);
    Preview(c_);
    ASSERT_TRUE(c_.图片框1->HasPicture());
    EXPECT_EQ(Shown(), "70x20");
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
    EXPECT_EQ(c_.进度条1->Value(), 100);
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
        answerer_.Forget();
        Scan();
        ASSERT_EQ(answerer_.Boxes().size(), 1u) << why;
        EXPECT_FALSE(OnlyBox().information) << why;
        EXPECT_EQ(answerer_.Count("扫描完成"), 0) << why;
        EXPECT_EQ(Names().size(), 1u) << why << ": the earlier results stay";
        EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8()) << why;
        EXPECT_TRUE(c_.驱动器框1->Enabled()) << why;
    };
    std::remove(ValidatorFile().c_str());
    refuses("validator missing");
    EXPECT_TRUE(Says(OnlyBox().text, "picvet"));
    testing::CopyDeliverable(std::string("picvet") + kProgramSuffix, programDir_.Path());
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = media_.File("gone.img"), .diskNumber = 0}});
    refuses("volume cannot be opened");
    EXPECT_TRUE(Says(OnlyBox().text, "C:"));
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = image_, .diskNumber = 0}});
    TheScanState().DeviceSectors = 0;
    refuses("size unknown");
}

TEST_F(ScanRig, AValidatorLostMidScanStopsTheScanWithAMessage) {
    UseImage(3 * kChunk);
    Put(2 * kChunk + 10, SectorPhoto(64, 64, 1));
    // Windows refuses to remove a program while it runs: then the next tick tries again.
    const During removing = WhileScanning(
        [&] { return c_.按钮1->Text() == StopCaption().Utf8() && std::remove(ValidatorFile().c_str()) == 0; });
    Scan();
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_FALSE(OnlyBox().information);
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
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string text = OnlyBox().text;
    EXPECT_TRUE(text.rfind("扫描完成\n", 0) == 0) << text;
    EXPECT_TRUE(Says(text, "有 30 个扇区无法读取")) << text;
    EXPECT_TRUE(Says(text, "第 590 扇区")) << text;
    EXPECT_FALSE(OnlyBox().information);
    EXPECT_EQ(testing::FileFingerprint(image_), before);
}

TEST_F(ScanRig, AnotherCopyScanningFromTheSameProgramDirectoryIsRefused) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    bool heldDuringScan = false;
    {
        const During probing = WhileScanning([&] {
            if (c_.按钮1->Text() != StopCaption().Utf8()) return false;
            bool heldElsewhere = false;
            std::string failure;
            heldDuringScan = !DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure) && heldElsewhere;
            return heldDuringScan;
        });
        Scan();
    }
    ASSERT_EQ(Names().size(), 1u);
    EXPECT_TRUE(heldDuringScan) << "a running scan holds the program directory";
    {
        bool heldElsewhere = false;
        std::string failure;
        const auto otherCopy = DirectoryLock::TryTake(ScratchLockPath(), heldElsewhere, failure);
        ASSERT_TRUE(otherCopy.has_value()) << "a finished scan lets go of it: " << failure;
        answerer_.Forget();
        Scan();
        ASSERT_EQ(answerer_.Boxes().size(), 1u);
        EXPECT_FALSE(OnlyBox().information);
        EXPECT_TRUE(Says(OnlyBox().text, "另一个 Velkor")) << OnlyBox().text;
        EXPECT_TRUE(Says(OnlyBox().text, NativePath(programDir_.Path()))) << OnlyBox().text;
        EXPECT_EQ(Names().size(), 1u) << "the earlier results stay";
        EXPECT_EQ(c_.按钮1->Text(), ScanCaption().Utf8());
    }
    answerer_.Forget();
    Scan();
    EXPECT_EQ(answerer_.Count("扫描完成"), 1) << "refused only while the other copy holds it";
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
        chosen_ = true;
        EXPECT_EQ(TheScanState().DeviceSectors, 0) << size;
        answerer_.Forget();
        Scan();
        ASSERT_EQ(answerer_.Boxes().size(), 1u);
        const std::string text = OnlyBox().text;
        EXPECT_TRUE(Says(text, size == 0 ? "是空的" : "只有 511 字节")) << text;
        EXPECT_FALSE(Says(text, "大小")) << "not a drive of unknown size: " << text;
    }
}

TEST_F(ScanRig, ADriveReplacedOrResizedSinceItWasChosenIsRefused) {
    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    Choose();
    const std::string first = media_.File("first.img");
    ASSERT_EQ(std::rename(image_.c_str(), first.c_str()), 0);
    testing::SizeFile(image_, 2000 * 512);  // another card under the same name
    Scan();
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_TRUE(Says(OnlyBox().text, "已被更换")) << OnlyBox().text;
    EXPECT_EQ(TheScanState().ScanPosition, 0) << "nothing was read";

    UseImage(2000);
    Put(10, SectorPhoto(64, 64, 1));
    Choose();
    const std::optional<DeviceIdentity> chosen = IdentityOfSource(image_);
    testing::SizeFile(image_, 4000 * 512);
    answerer_.Forget();
    Scan();
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_TRUE(Says(OnlyBox().text, "改变了大小")) << OnlyBox().text;
    if (IdentityOfSource(image_) != chosen) GTEST_SKIP() << testing::kResizeMakesAnotherFile;
    SelectDrive(*c_.驱动器框1);
    answerer_.Forget();
    Scan();
    EXPECT_EQ(answerer_.Count("扫描完成"), 1) << "chosen again, it scans";
    EXPECT_EQ(Names().size(), 1u);
}

TEST(StopPosition, AlwaysLiesBeyondTheDrive) {
    EXPECT_EQ(StopPositionFor(1000), kStopPosition);
    EXPECT_GT(StopPositionFor(kStopPosition), kStopPosition);
    EXPECT_GT(StopPositionFor(std::int64_t{1} << 40), std::int64_t{1} << 40);
}

}  // namespace
}  // namespace velkor
