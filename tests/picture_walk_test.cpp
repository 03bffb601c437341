// The structure walk of a picture: where it ends, why it stops early, and what the picture
// declares behind its end (MPF images, motion-photo items).
#include "carving/picture_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carving/candidate_cut.h"
#include "carving/walk_ahead.h"
#include "tests/support/jpeg_containers.h"
#include "tests/support/jpeg_edit.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::JpegOptions;
using testing::MakeJpeg;

const ByteSet kEndMarker = {0xFF, 0xD9, 0x00, 0x00};

std::int64_t SizeOf(const ByteSet& bytes) { return static_cast<std::int64_t>(bytes.size()); }

ByteSet Joined(ByteSet first, const ByteSet& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

ByteSet WithInserted(ByteSet bytes, std::size_t at, const ByteSet& inserted) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(), inserted.end());
    return bytes;
}

ByteSet Prefix(const ByteSet& bytes, std::size_t size) {
    return ByteSet(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// The middle of the coded data of a scan: between the end of its header and the marker behind it.
std::size_t MiddleOfCodedData(const ByteSet& jpeg, const std::pair<std::size_t, std::size_t>& scan) {
    const std::size_t dataStart =
        scan.first + 2 + (std::size_t{jpeg[scan.first + 2]} << 8 | jpeg[scan.first + 3]);
    return (dataStart + scan.second) / 2;
}

std::size_t MiddleOfFirstScan(const ByteSet& jpeg) {
    return MiddleOfCodedData(jpeg, testing::LayoutOf(jpeg).scans[0]);
}

int CountRestartMarkers(const ByteSet& jpeg) {
    int count = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        count += jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7;
    return count;
}

struct Coding {
    const char* name;
    JpegOptions options;
};

const Coding kCodings[] = {
    {"baseline 4:2:0", {}},
    {"progressive", {.progressive = true}},
    {"grayscale", {.grayscale = true}},
    {"grayscale progressive", {.progressive = true, .grayscale = true}},
    {"4:4:4 with a restart every row", {.horizontalSampling = 1, .verticalSampling = 1, .restartRows = 1}},
    {"4:2:2 progressive with restarts",
     {.progressive = true, .horizontalSampling = 2, .verticalSampling = 1, .restartRows = 2}},
    {"thumbnail padded with zeros", {.exifThumbnail = true, .thumbnailPadding = 700}},
};

TEST(WalkPicture, EndsAtItsOwnEndMarkerInEveryCoding) {
    const ByteSet other = MakeJpeg(40, 40, {.seed = 9});
    for (const Coding& coding : kCodings) {
        if (!testing::CanEncode(coding.options)) continue;
        SCOPED_TRACE(coding.name);
        const ByteSet jpeg = MakeJpeg(96, 64, coding.options);
        if (coding.options.restartRows > 0) {
            ASSERT_GE(CountRestartMarkers(jpeg), 4);
        }
        const PictureWalk walk = WalkPicture(jpeg);
        EXPECT_EQ(walk.end, PictureEnd::kComplete);
        EXPECT_EQ(walk.eoiEnd, SizeOf(jpeg));
        EXPECT_EQ(walk.stopAt, SizeOf(jpeg));
        EXPECT_EQ(walk.firstScanData, FirstScanDataOffset(jpeg));
        EXPECT_EQ(walk.scans, static_cast<int>(testing::LayoutOf(jpeg).scans.size()));
        EXPECT_EQ(walk.declaredEnd, -1);
        EXPECT_FALSE(walk.mpfIndex);
        EXPECT_FALSE(walk.motionPhoto);
        // What lies behind the end, however picture-like, is not the picture's.
        const ByteSet followed = Joined(Joined(jpeg, kEndMarker), other);
        EXPECT_EQ(WalkPicture(followed).eoiEnd, SizeOf(jpeg));
    }
    if (testing::CanEncode({.progressive = true})) {
        EXPECT_GT(WalkPicture(MakeJpeg(96, 64, {.progressive = true})).scans, 1);
    }
}

TEST(WalkPicture, TakesAThumbnailAndItsZeroPaddingAsSegmentData) {
    for (const int padding : {0, 4096}) {
        const ByteSet jpeg = MakeJpeg(320, 240, {.exifThumbnail = true, .thumbnailPadding = padding});
        const PictureWalk walk = WalkPicture(jpeg);
        // The thumbnail's own start and end come before the picture's first scan.
        ASSERT_LT(FindBytes(jpeg, ByteSet{0xFF, 0xD8, 0xFF}, 2), walk.firstScanData);
        ASSERT_LT(FindBytes(jpeg, ByteSet{0xFF, 0xD9}), walk.firstScanData);
        if (padding > 0) {
            ASSERT_LT(FindBytes(jpeg, kEndMarker), walk.firstScanData)
                << "an end marker the cut would take first";
        }
        EXPECT_EQ(walk.end, PictureEnd::kComplete) << padding;
        EXPECT_EQ(walk.eoiEnd, SizeOf(jpeg)) << padding;
    }
}

TEST(WalkPicture, TakesFillBytesBeforeMarkers) {
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet jpeg = MakeJpeg(48, 48, {.progressive = true});
    const testing::JpegLayout layout = testing::LayoutOf(jpeg);
    const ByteSet fill = {0xFF, 0xFF, 0xFF};
    const std::size_t places[] = {2, layout.frame, layout.scans[1].first, layout.end};
    for (const std::size_t at : places) {
        const ByteSet filled = WithInserted(jpeg, at, fill);
        const PictureWalk walk = WalkPicture(filled);
        EXPECT_EQ(walk.end, PictureEnd::kComplete) << at;
        EXPECT_EQ(walk.eoiEnd, SizeOf(filled)) << at;
        EXPECT_EQ(walk.scans, static_cast<int>(layout.scans.size())) << at;
    }
}

TEST(WalkPicture, TakesTablesAndMiscellanyBetweenScans) {
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet jpeg = MakeJpeg(48, 48, {.progressive = true});
    const testing::JpegLayout layout = testing::LayoutOf(jpeg);
    const std::vector<std::pair<const char*, ByteSet>> segments = {
        {"DHT", {0xFF, 0xC4, 0x00, 0x06, 0x11, 0x00, 0x00, 0x00}},
        {"DAC", {0xFF, 0xCC, 0x00, 0x04, 0x00, 0x00}},
        {"DQT", {0xFF, 0xDB, 0x00, 0x04, 0x00, 0x01}},
        {"DRI", {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x10}},
        {"COM", {0xFF, 0xFE, 0x00, 0x05, 'a', 'b', 'c'}},
        {"APP0", {0xFF, 0xE0, 0x00, 0x02}},
        {"APP15", {0xFF, 0xEF, 0x00, 0x04, 0xFF, 0xD9}},
    };
    for (const auto& [name, segment] : segments) {
        for (const std::size_t at : {layout.scans[1].first, layout.end}) {
            const ByteSet edited = WithInserted(jpeg, at, segment);
            const PictureWalk walk = WalkPicture(edited);
            EXPECT_EQ(walk.end, PictureEnd::kComplete) << name << " at " << at;
            EXPECT_EQ(walk.eoiEnd, SizeOf(edited)) << name << " at " << at;
        }
    }
}

TEST(WalkPicture, TakesANumberOfLinesSegmentOnlyRightAfterTheFirstScan) {
    const ByteSet dnl = {0xFF, 0xDC, 0x00, 0x04, 0x00, 0x30};
    const ByteSet baseline = MakeJpeg(48, 48);
    const ByteSet afterFirst = WithInserted(baseline, testing::LayoutOf(baseline).scans[0].second, dnl);
    EXPECT_EQ(WalkPicture(afterFirst).end, PictureEnd::kComplete);
    EXPECT_EQ(WalkPicture(afterFirst).eoiEnd, SizeOf(afterFirst));

    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet progressive = MakeJpeg(48, 48, {.progressive = true});
    const testing::JpegLayout layout = testing::LayoutOf(progressive);
    const ByteSet progressiveAfterFirst = WithInserted(progressive, layout.scans[0].second, dnl);
    EXPECT_EQ(WalkPicture(progressiveAfterFirst).end, PictureEnd::kComplete);
    for (const std::size_t at : {layout.frame, layout.scans[1].second}) {
        const PictureWalk walk = WalkPicture(WithInserted(progressive, at, dnl));
        EXPECT_EQ(walk.end, PictureEnd::kImpossibleMarker) << at;
        EXPECT_EQ(walk.stopAt, static_cast<std::int64_t>(at)) << at;
    }
}

TEST(WalkPicture, StopsAtAMarkerThatCannotStandInsideOrAfterCodedData) {
    const ByteSet jpeg = MakeJpeg(96, 64);
    const std::size_t middle = MiddleOfFirstScan(jpeg);
    const std::size_t afterScan = testing::LayoutOf(jpeg).scans[0].second;
    const std::vector<std::pair<ByteSet, PictureEnd>> markers = {
        {{0xFF, 0xD8, 0xFF, 0xE0}, PictureEnd::kRunsIntoAnotherPicture},
        {{0xFF, 0xC0, 0x00, 0x11}, PictureEnd::kImpossibleMarker},  // a frame header: one per picture
        {{0xFF, 0xC2, 0x00, 0x11}, PictureEnd::kImpossibleMarker},
        {{0xFF, 0x01}, PictureEnd::kImpossibleMarker},              // TEM
        {{0xFF, 0x02, 0x00, 0x04}, PictureEnd::kImpossibleMarker},  // reserved
        {{0xFF, 0xC8, 0x00, 0x04}, PictureEnd::kImpossibleMarker},  // JPG
        {{0xFF, 0xDE, 0x00, 0x04}, PictureEnd::kImpossibleMarker},  // DHP: no hierarchical pictures
        {{0xFF, 0xF7, 0x00, 0x04}, PictureEnd::kImpossibleMarker},  // JPGn
    };
    for (const auto& [marker, expected] : markers) {
        for (const std::size_t at : {middle, afterScan}) {
            const PictureWalk walk = WalkPicture(WithInserted(jpeg, at, marker));
            EXPECT_EQ(walk.end, expected) << std::hex << int{marker[1]} << " at " << std::dec << at;
            EXPECT_EQ(walk.stopAt, static_cast<std::int64_t>(at)) << std::hex << int{marker[1]};
            EXPECT_EQ(walk.eoiEnd, -1);
            EXPECT_EQ(walk.scans, 1);
        }
    }
}

TEST(WalkPicture, StopsAtHeadersThatCannotBeAPicture) {
    const ByteSet jpeg = MakeJpeg(48, 48);
    const testing::JpegLayout layout = testing::LayoutOf(jpeg);
    const std::size_t sos = layout.scans[0].first;
    const std::vector<std::pair<const char*, ByteSet>> cases = {
        {"restart outside coded data", WithInserted(jpeg, layout.frame, {0xFF, 0xD0})},
        {"scan before the frame",
         WithInserted(jpeg, layout.frame,
                      ByteSet(jpeg.begin() + static_cast<std::ptrdiff_t>(sos),
                              jpeg.begin() + static_cast<std::ptrdiff_t>(sos) + 10))},
        {"end before any scan", WithInserted(jpeg, sos, {0xFF, 0xD9})},
        {"second frame header",
         WithInserted(jpeg, sos,
                      ByteSet(jpeg.begin() + static_cast<std::ptrdiff_t>(layout.frame),
                              jpeg.begin() + static_cast<std::ptrdiff_t>(layout.frame) + 19))},
        {"a byte where a marker belongs", WithInserted(jpeg, layout.frame, {0x00})},
        {"stuffed zero outside coded data", WithInserted(jpeg, layout.frame, {0xFF, 0x00})},
        {"segment length below two", WithInserted(jpeg, layout.frame, {0xFF, 0xFE, 0x00, 0x01})},
    };
    for (const auto& [name, edited] : cases) {
        const PictureWalk walk = WalkPicture(edited);
        EXPECT_EQ(walk.end, PictureEnd::kImpossibleMarker) << name;
        EXPECT_EQ(walk.eoiEnd, -1) << name;
        EXPECT_LE(walk.stopAt, static_cast<std::int64_t>(sos)) << name;
    }
    EXPECT_EQ(WalkPicture(ByteSet{0xFF, 0xD9, 0xFF, 0xD8}).end, PictureEnd::kImpossibleMarker)
        << "no start marker";
    EXPECT_EQ(WalkPicture(ByteSet{0xFF, 0xD9, 0xFF, 0xD8}).stopAt, 0);
}

TEST(WalkPicture, RunsIntoAnotherPictureWhenCutShortBeforeIt) {
    const ByteSet next = MakeJpeg(64, 64, {.seed = 4});
    for (const Coding& coding : kCodings) {
        if (!testing::CanEncode(coding.options)) continue;
        SCOPED_TRACE(coding.name);
        const ByteSet jpeg = MakeJpeg(96, 64, coding.options);
        const testing::JpegLayout layout = testing::LayoutOf(jpeg);
        for (const std::size_t cut :
             {MiddleOfFirstScan(jpeg), MiddleOfCodedData(jpeg, layout.scans.back()), layout.end}) {
            const PictureWalk walk = WalkPicture(Joined(Prefix(jpeg, cut), next));
            EXPECT_EQ(walk.end, PictureEnd::kRunsIntoAnotherPicture) << cut;
            EXPECT_EQ(walk.stopAt, static_cast<std::int64_t>(cut)) << cut;
            EXPECT_EQ(walk.eoiEnd, -1) << cut;
            EXPECT_EQ(walk.firstScanData, FirstScanDataOffset(jpeg)) << cut;
        }
    }
}

TEST(WalkPicture, DataEndsAtEveryCutBeforeTheEndMarker) {
    for (const Coding& coding : {kCodings[1], kCodings[4], kCodings[6]}) {
        if (!testing::CanEncode(coding.options)) continue;
        SCOPED_TRACE(coding.name);
        const ByteSet jpeg = MakeJpeg(24, 16, coding.options);
        for (std::size_t cut = 0; cut < jpeg.size(); ++cut) {
            const PictureWalk walk = WalkPicture(ByteView(jpeg).first(cut));
            ASSERT_EQ(walk.end, PictureEnd::kDataEnds) << cut;
            ASSERT_EQ(walk.stopAt, static_cast<std::int64_t>(cut));
            ASSERT_EQ(walk.eoiEnd, -1);
        }
        EXPECT_EQ(WalkPicture(jpeg).end, PictureEnd::kComplete);
    }
}

TEST(WalkPicture, GivesUpOnTooManyScansOrSegments) {
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet progressive = MakeJpeg(16, 16, {.progressive = true});
    const ByteSet most = testing::WithScanCount(progressive, kMaxWalkScans);
    EXPECT_EQ(WalkPicture(most).end, PictureEnd::kComplete);
    EXPECT_EQ(WalkPicture(most).scans, kMaxWalkScans);
    const ByteSet tooMany = testing::WithScanCount(progressive, kMaxWalkScans + 1);
    const PictureWalk walk = WalkPicture(tooMany);
    EXPECT_EQ(walk.end, PictureEnd::kImpossibleMarker);
    EXPECT_EQ(walk.scans, kMaxWalkScans);
    EXPECT_EQ(walk.stopAt, static_cast<std::int64_t>(testing::LayoutOf(tooMany).scans[kMaxWalkScans].first));

    const ByteSet jpeg = MakeJpeg(16, 16);
    const auto withComments = [&](int count) {
        ByteSet comments;
        for (int i = 0; i < count; ++i) comments.insert(comments.end(), {0xFF, 0xFE, 0x00, 0x02});
        return WithInserted(jpeg, 2, comments);
    };
    EXPECT_EQ(WalkPicture(withComments(kMaxWalkSegments - 100)).end, PictureEnd::kComplete);
    EXPECT_EQ(WalkPicture(withComments(kMaxWalkSegments)).end, PictureEnd::kImpossibleMarker);
}

TEST(WalkPictureMpf, DeclaresTheEndOfTheLastIndexedImageInBothByteOrders) {
    const ByteSet primary = MakeJpeg(96, 64, {.exifThumbnail = true});
    const std::vector<ByteSet> further = {MakeJpeg(48, 32, {.seed = 3}), MakeJpeg(20, 20, {.seed = 5})};
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        const ByteSet file = testing::MultiPictureFile(primary, further, bigEndian);
        const std::int64_t primaryEnd =
            SizeOf(primary) + static_cast<std::int64_t>(testing::MpfSegmentSize(3));
        const PictureWalk walk = WalkPicture(file);
        EXPECT_EQ(walk.end, PictureEnd::kComplete);
        EXPECT_EQ(walk.eoiEnd, primaryEnd);
        EXPECT_EQ(walk.declaredEnd, SizeOf(file));
        EXPECT_TRUE(walk.mpfIndex);
        EXPECT_EQ(walk.indexedImages, 2);
        EXPECT_FALSE(walk.motionPhoto);
        // Where the further images are not in the bytes, the index is believed as it stands.
        const PictureWalk primaryOnly = WalkPicture(Prefix(file, static_cast<std::size_t>(primaryEnd)));
        EXPECT_EQ(primaryOnly.declaredEnd, SizeOf(file));
        EXPECT_EQ(primaryOnly.indexedImages, 2);
        // A primary cut short still declares them: they lie behind the index in any case.
        const ByteSet cut = Prefix(file, static_cast<std::size_t>(primaryEnd) / 2 + 100);
        const PictureWalk cutWalk = WalkPicture(cut);
        ASSERT_EQ(cutWalk.end, PictureEnd::kDataEnds);
        EXPECT_EQ(cutWalk.declaredEnd, SizeOf(file));
    }
}

TEST(WalkPictureMpf, IgnoresEntriesThatLeadToNoPictureBehindThePrimary) {
    const ByteSet primary = MakeJpeg(96, 64, {.exifThumbnail = true});
    const ByteSet second = MakeJpeg(32, 32, {.seed = 8});
    const auto primarySize = static_cast<std::uint32_t>(primary.size() + testing::MpfSegmentSize(3));
    const std::uint32_t secondAt = primarySize - testing::kMpfTiffStart;
    const auto secondSize = static_cast<std::uint32_t>(second.size());
    // The thumbnail's start marker, in the primary's first segment behind the index.
    const auto thumbnailAt = static_cast<std::uint32_t>(FindBytes(primary, ByteSet{0xFF, 0xD8, 0xFF}, 2) +
                                                        testing::MpfSegmentSize(3) - testing::kMpfTiffStart);
    const std::vector<std::pair<const char*, testing::MpEntry>> hostile = {
        {"one byte past the start marker", {secondSize, secondAt + 1}},
        {"the thumbnail inside the primary", {1000, thumbnailAt}},
        {"too small to be a picture", {3, secondAt}},
        {"ending past the cap", {secondSize, static_cast<std::uint32_t>(kMaxIndexedImagesEnd)}},
        {"a negative-looking offset", {secondSize, 0xFFFFFFF0u}},
        {"a negative-looking size", {0xFFFFFFFFu, secondAt}},
    };
    for (const bool bigEndian : {false, true}) {
        for (const auto& [name, entry] : hostile) {
            const ByteSet file = Joined(
                testing::WithMpfIndex(primary, {{primarySize, 0}, entry, {secondSize, secondAt}}, bigEndian),
                second);
            const PictureWalk walk = WalkPicture(file);
            ASSERT_EQ(walk.eoiEnd, primarySize) << name;
            EXPECT_TRUE(walk.mpfIndex) << name;
            EXPECT_EQ(walk.indexedImages, 1) << name;
            EXPECT_EQ(walk.declaredEnd, SizeOf(file)) << name;

            const PictureWalk alone = WalkPicture(
                Joined(testing::WithMpfIndex(primary, {{primarySize, 0}, entry, {0, 0}}, bigEndian), second));
            EXPECT_EQ(alone.indexedImages, 0) << name;
            EXPECT_EQ(alone.declaredEnd, -1) << name;
        }
    }
    const std::uint32_t justUnderTheCap =
        static_cast<std::uint32_t>(kMaxIndexedImagesEnd) - testing::kMpfTiffStart - 100;
    EXPECT_EQ(WalkPicture(testing::WithMpfIndex(primary, {{primarySize, 0}, {100, justUnderTheCap}}, false))
                  .declaredEnd,
              kMaxIndexedImagesEnd);
}

TEST(WalkPictureMpf, IgnoresAnIndexItCannotRead) {
    const ByteSet file = testing::MultiPictureFile(MakeJpeg(64, 48), {MakeJpeg(32, 32, {.seed = 2})}, false);
    const std::size_t tiff = testing::kMpfTiffStart;
    const std::size_t entryListField = tiff + 8 + 2 + 12 * 2;
    const auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        ByteSet edited = file;
        std::copy(bytes.begin(), bytes.end(), edited.begin() + static_cast<std::ptrdiff_t>(at));
        return edited;
    };
    ASSERT_EQ(WalkPicture(file).indexedImages, 1);
    const std::vector<std::pair<const char*, ByteSet>> cases = {
        {"no byte order mark", patched(tiff, {'I', 'M'})},
        {"IFD beyond the segment", patched(tiff + 4, {0x00, 0x40, 0x00, 0x00})},
        {"no MP Entry tag", patched(entryListField, {0x03, 0xB0})},
        {"list beyond the segment", patched(entryListField + 8, {0xF0, 0x00, 0x00, 0x00})},
        {"list shorter than an entry", patched(entryListField + 4, {0x0F, 0x00, 0x00, 0x00})},
        {"not MPF", patched(tiff - 2, {'X'})},
    };
    for (const auto& [name, edited] : cases) {
        const PictureWalk walk = WalkPicture(edited);
        EXPECT_EQ(walk.end, PictureEnd::kComplete) << name;
        EXPECT_FALSE(walk.mpfIndex) << name;
        EXPECT_EQ(walk.declaredEnd, -1) << name;
    }
}

// A picture whose XMP holds attributes and elements, the bytes behind it, and where its end marker ends.
struct MotionFile {
    ByteSet bytes;
    std::int64_t eoiEnd;
};

MotionFile MotionPhoto(const std::string& attributes, const std::string& elements, const ByteSet& behind) {
    const ByteSet picture =
        testing::WithXmp(MakeJpeg(96, 64, {.exifThumbnail = true}), testing::XmpPacket(attributes, elements));
    return {Joined(picture, behind), SizeOf(picture)};
}

TEST(WalkPictureMotion, MicroVideoOffsetDeclaresTheVideoBehindTheEnd) {
    const ByteSet video = testing::VideoBytes(30000);
    ASSERT_EQ(FindBytes(video, kEndMarker), -1);
    const std::string length = std::to_string(video.size());
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"GCamera:MicroVideo=\"1\" GCamera:MicroVideoVersion=\"1\" GCamera:MicroVideoOffset=\"" + length +
             "\"",
         ""},
        {"GCamera:MicroVideoOffset = '" + length + "'", ""},
        {"", "   <GCamera:MicroVideoOffset>" + length + "</GCamera:MicroVideoOffset>\n"},
    };
    for (const auto& [attributes, elements] : forms) {
        const MotionFile file = MotionPhoto(attributes, elements, video);
        const PictureWalk walk = WalkPicture(file.bytes);
        EXPECT_EQ(walk.end, PictureEnd::kComplete) << attributes << elements;
        EXPECT_EQ(walk.eoiEnd, file.eoiEnd) << attributes << elements;
        EXPECT_EQ(walk.declaredEnd, SizeOf(file.bytes)) << attributes << elements;
        EXPECT_TRUE(walk.motionPhoto) << attributes << elements;
        // Without the video's bytes the declaration is believed as it stands.
        EXPECT_EQ(WalkPicture(Prefix(file.bytes, static_cast<std::size_t>(file.eoiEnd))).declaredEnd,
                  SizeOf(file.bytes));
    }
}

TEST(WalkPictureMotion, MicroVideoOffsetIsIgnoredWhenNoVideoFollows) {
    const std::string attributes = "GCamera:MicroVideoOffset=\"30000\"";
    for (const ByteSet& behind : {ByteSet(4096, 0x00), MakeJpeg(64, 64, {.seed = 6})}) {
        const PictureWalk walk = WalkPicture(MotionPhoto(attributes, "", behind).bytes);
        EXPECT_EQ(walk.end, PictureEnd::kComplete);
        EXPECT_EQ(walk.declaredEnd, -1);
        EXPECT_FALSE(walk.motionPhoto);
    }
    const MotionFile cutShort = MotionPhoto(attributes, "", testing::VideoBytes(30000));
    const PictureWalk walk =
        WalkPicture(Prefix(cutShort.bytes, static_cast<std::size_t>(cutShort.eoiEnd) - 1));
    EXPECT_EQ(walk.end, PictureEnd::kDataEnds);
    EXPECT_EQ(walk.declaredEnd, -1) << "an offset from an end never reached";
}

TEST(WalkPictureMotion, MicroVideoOffsetTakesOnlyPlainDigitsWithinTheCap) {
    const std::string cap = std::to_string(kMaxTrailingItems);
    const std::string beyond = std::to_string(kMaxTrailingItems + 1);
    const char* const hostile[] = {
        "GCamera:MicroVideoOffset=\"00000000012\"", "GCamera:MicroVideoOffset=\"99999999999\"",
        "GCamera:MicroVideoOffset=\"-5\"",          "GCamera:MicroVideoOffset=\"12a\"",
        "GCamera:MicroVideoOffset=\"0x10\"",        "GCamera:MicroVideoOffset=\"\"",
        "GCamera:MicroVideoOffset=\" 12\"",         "GCamera:MicroVideoOffset=\"0\"",
        "GCamera:MicroVideoOffset=\"12'",           "GCamera:MicroVideoOffset=12",
        "GCamera:MicroVideoOffsetX=\"12\""};
    for (const std::string attributes : hostile) {
        EXPECT_EQ(WalkPicture(MotionPhoto(attributes, "", {}).bytes).declaredEnd, -1) << attributes;
    }
    EXPECT_EQ(
        WalkPicture(MotionPhoto("GCamera:MicroVideoOffset=\"" + beyond + "\"", "", {}).bytes).declaredEnd,
        -1);
    const MotionFile atTheCap = MotionPhoto("GCamera:MicroVideoOffset=\"" + cap + "\"", "", {});
    EXPECT_EQ(WalkPicture(atTheCap.bytes).declaredEnd, atTheCap.eoiEnd + kMaxTrailingItems);
}

std::string Item(const std::string& semantic, const std::string& length, const std::string& padding) {
    std::string item = "Item:Mime=\"" + std::string(semantic == "MotionPhoto" ? "video/mp4" : "image/jpeg") +
                       "\" Item:Semantic=\"" + semantic + "\"";
    if (!length.empty()) item += " Item:Length=\"" + length + "\"";
    if (!padding.empty()) item += " Item:Padding=\"" + padding + "\"";
    return item;
}

TEST(WalkPictureMotion, ContainerDirectoryDeclaresItsItemsInOrder) {
    const ByteSet video = testing::VideoBytes(20000);
    const ByteSet gainMap = MakeJpeg(24, 16, {.grayscale = true, .seed = 3});
    const std::string videoLength = std::to_string(video.size());
    const std::string gainMapLength = std::to_string(gainMap.size());

    const MotionFile plain = MotionPhoto(
        "GCamera:MotionPhoto=\"1\"",
        testing::ContainerDirectory({Item("Primary", "", "0"), Item("MotionPhoto", videoLength, "0")}),
        video);
    PictureWalk walk = WalkPicture(plain.bytes);
    EXPECT_EQ(walk.eoiEnd, plain.eoiEnd);
    EXPECT_EQ(walk.declaredEnd, SizeOf(plain.bytes));
    EXPECT_TRUE(walk.motionPhoto);

    // Padding behind the primary, a gain map, then the video with padding of its own.
    const ByteSet behind = Joined(Joined(ByteSet(8, 0), gainMap), Joined(video, ByteSet(4, 0)));
    const MotionFile padded = MotionPhoto(
        "",
        testing::ContainerDirectory({Item("Primary", "0", "8"), Item("GainMap", gainMapLength, ""),
                                     Item("MotionPhoto", videoLength, "4")}),
        behind);
    walk = WalkPicture(padded.bytes);
    EXPECT_EQ(walk.eoiEnd, padded.eoiEnd);
    EXPECT_EQ(walk.declaredEnd, SizeOf(padded.bytes));

    // The gain map indexed by MPF too: the directory reaches further and wins.
    const ByteSet primary = testing::WithXmp(
        MakeJpeg(96, 64),
        testing::XmpPacket(
            "", testing::ContainerDirectory({Item("Primary", "", ""), Item("GainMap", gainMapLength, ""),
                                             Item("MotionPhoto", videoLength, "")})));
    const ByteSet both = Joined(testing::MultiPictureFile(primary, {gainMap}, true), video);
    walk = WalkPicture(both);
    EXPECT_EQ(walk.indexedImages, 1);
    EXPECT_TRUE(walk.motionPhoto);
    EXPECT_EQ(walk.declaredEnd, SizeOf(both));
}

TEST(WalkPictureMotion, ContainerDirectoryIsIgnoredWhenItsLayoutIsUnknownOrHostile) {
    const std::string big = std::to_string(kMaxTrailingItems / 2 + 1);
    const std::vector<std::pair<const char*, std::vector<std::string>>> directories = {
        {"primary only", {Item("Primary", "", "0")}},
        {"a further item without length",
         {Item("Primary", "", "0"), Item("GainMap", "", "0"), Item("MotionPhoto", "100", "0")}},
        {"a negative length",
         {Item("Primary", "", "0"), Item("GainMap", "-1", "0"), Item("MotionPhoto", "100", "0")}},
        {"padding not a number", {Item("Primary", "", "x"), Item("MotionPhoto", "100", "0")}},
        {"lengths beyond the cap together",
         {Item("Primary", "", "0"), Item("GainMap", big, "0"), Item("MotionPhoto", big, "0")}},
    };
    for (const auto& [name, items] : directories) {
        const PictureWalk walk = WalkPicture(MotionPhoto("", testing::ContainerDirectory(items), {}).bytes);
        EXPECT_EQ(walk.end, PictureEnd::kComplete) << name;
        EXPECT_EQ(walk.declaredEnd, -1) << name;
        EXPECT_FALSE(walk.motionPhoto) << name;
    }
}

// A walk done ahead is handed out only for exactly the bytes it read: the scan's chunk
// slots are reused, so the same place with other bytes or another length must not get it.
TEST(WalkAhead, GivesTheWalkOnlyForTheBytesItWalked) {
    const ByteSet photo = Joined(MakeJpeg(96, 64, {.seed = 3}), ByteSet(700, 0x00));
    const ByteView whole(photo);
    const PictureWalk expected = WalkPicture(whole);

    WalkAhead ahead;
    ahead.Start(whole);
    const std::optional<PictureWalk> taken = ahead.Take(whole);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->end, PictureEnd::kComplete);
    EXPECT_EQ(taken->eoiEnd, expected.eoiEnd);
    EXPECT_EQ(taken->stopAt, expected.stopAt);
    EXPECT_FALSE(ahead.Take(whole).has_value()) << "a walk is handed out once";

    ahead.Start(whole);
    EXPECT_FALSE(ahead.Take(whole.first(whole.size() - 512)).has_value()) << "same place, shorter";
    EXPECT_FALSE(ahead.Take(whole).has_value()) << "a mismatched take drops the walk";

    ahead.Start(whole);
    ahead.Start(whole.subspan(2));
    EXPECT_FALSE(ahead.Take(whole).has_value()) << "a later start replaces the earlier walk";

    ahead.Start(whole);
    ahead.Drop();
    EXPECT_FALSE(ahead.Take(whole).has_value());
}

}  // namespace
}  // namespace velkor
