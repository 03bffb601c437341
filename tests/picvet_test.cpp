// picvet as a real process in its own program directory, on every system.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/picture_measure.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::JpegOptions;
using testing::MakeJpeg;
using testing::ScratchDir;

class Picvet : public ::testing::Test {
protected:
    void SetUp() override { testing::CopyDeliverable(std::string("picvet") + kProgramSuffix, dir_.Path()); }

    // Runs picvet on candidate (or with no tem.tem at all) and returns ini.ini.
    std::string Verdict(const ByteSet* candidate) {
        if (candidate != nullptr) {
            EXPECT_TRUE(WriteWholeFile(dir_.File("tem.tem"), *candidate));
        }
        WriteWholeFile(dir_.File("ini.ini"), BytesOf("stale verdict"));
        const ProgramRun run = StartProgramAndWait(dir_.File("picvet") + kProgramSuffix, 10000);
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut);
        const ByteSet verdict = ReadWholeFile(dir_.File("ini.ini"));
        return std::string(verdict.begin(), verdict.end());
    }
    std::string Verdict(const ByteSet& candidate) { return Verdict(&candidate); }

    ScratchDir dir_;
};

TEST_F(Picvet, AcceptsPicturesOfAtLeastTenByTenPixels) {
    EXPECT_EQ(Verdict(MakeJpeg(10, 10)), "1");
    EXPECT_EQ(Verdict(MakeJpeg(33, 17, {.grayscale = true})), "1");
    for (const JpegOptions& coding : {JpegOptions{.progressive = true},
                                      JpegOptions{.horizontalSampling = 1, .verticalSampling = 1, .restartRows = 1}}) {
        if (testing::CanEncode(coding)) {
            EXPECT_EQ(Verdict(MakeJpeg(640, 480, coding)), "1");
        }
    }
}

TEST_F(Picvet, RejectsPicturesBelowTenPixelsInEitherDimension) {
    EXPECT_EQ(Verdict(MakeJpeg(9, 200)), "0");
    EXPECT_EQ(Verdict(MakeJpeg(200, 9)), "0");
    EXPECT_EQ(Verdict(MakeJpeg(10, 9)), "0");
}

TEST_F(Picvet, RejectsEmptyMissingAndForeignCandidates) {
    EXPECT_EQ(Verdict(ByteSet{}), "0");
    EXPECT_EQ(Verdict(nullptr), "0");
    EXPECT_EQ(Verdict(BytesOf("GIF89a this is not a JPEG at all")), "0");
}

TEST_F(Picvet, JudgesTruncatedPicturesByTheirHeaders) {
    const ByteSet photo = MakeJpeg(320, 240, {.exifThumbnail = true});
    const ByteSet headerCut(photo.begin(), photo.begin() + 300);
    EXPECT_EQ(Verdict(headerCut), "0") << "cut inside the thumbnail: no frame header, nothing to recover";
    const ByteSet bodyCut(photo.begin(), photo.begin() + static_cast<long>(photo.size() / 2));
    EXPECT_EQ(Verdict(bodyCut), "1") << "a photo missing its tail is still worth recovering";
}

TEST_F(Picvet, RandomBytesEndInARejectionQuickly) {
    std::mt19937 random(7);
    ByteSet noise(50u * 1024 * 1024);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    noise[0] = 0xFF;
    noise[1] = 0xD8;
    noise[2] = 0xFF;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Verdict(noise), "0");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

// Replaces the frame's declared size (the two fields after the SOF marker's precision byte).
ByteSet WithDeclaredSize(ByteSet jpeg, std::uint8_t frameMarker, int width, int height) {
    const std::int64_t at = FindBytes(jpeg, ByteSet{0xFF, frameMarker});
    EXPECT_GE(at, 0);
    const auto p = static_cast<std::size_t>(at);
    jpeg[p + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[p + 6] = static_cast<std::uint8_t>(height);
    jpeg[p + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[p + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

TEST_F(Picvet, HostileHeadersCostMillisecondsNotMemory) {
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 32768, 32768)), "1") << "exactly the pixel cap";
    EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 32768, 32769)), "0") << "one row beyond the pixel cap";
    EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 65500, 65500)), "0");
    EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 65535, 65535)), "0")
        << "beyond what any decoder accepts, so nothing could open it";
    EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 0, 65535)), "0");
    if (testing::CanEncode({.progressive = true})) {
        EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16, {.progressive = true}), 0xC2, 65500, 65500)), "0");
        EXPECT_EQ(Verdict(WithDeclaredSize(MakeJpeg(16, 16, {.progressive = true}), 0xC2, 30000, 20000)), "1");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

TEST_F(Picvet, ProgressivePictureWithSixtyThousandScansIsJudgedQuickly) {
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet photo = MakeJpeg(64, 64, {.progressive = true});
    const ByteSet sos = {0xFF, 0xDA};
    const std::int64_t first = FindBytes(photo, sos);
    const std::int64_t second = FindBytes(photo, sos, first + 2);
    ASSERT_GT(second, first);
    ByteSet hostile(photo.begin(), photo.begin() + second);
    for (int i = 0; i < 60000; ++i) hostile.insert(hostile.end(), photo.begin() + first, photo.begin() + second);
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Verdict(hostile), "1");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

TEST_F(Picvet, LeavesExactlyOneVerdictByteEveryTime) {
    for (const ByteSet& candidate : {MakeJpeg(10, 10), MakeJpeg(9, 9), ByteSet{}}) {
        Verdict(candidate);
        EXPECT_EQ(ReadWholeFile(dir_.File("ini.ini")).size(), 1u);
    }
}

TEST(MeasurePicture, ReportsTheFramesOwnSize) {
    const PictureSize size = MeasurePicture(MakeJpeg(123, 45, {.exifThumbnail = true}));
    EXPECT_EQ(size.width, 123) << "the thumbnail's frame must not be taken for the photo's";
    EXPECT_EQ(size.height, 45);
    const PictureSize none = MeasurePicture(ByteSet{0xFF, 0xD8, 0xFF});
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
}

// The length the measuring unit says it read settles its answer: every run of bytes
// that begins with it is answered the same.
TEST(MeasuredLength, SettlesTheAnswerForEveryLongerRun) {
    for (const testing::MeasuredCase& c : testing::MeasuredCases()) {
        const std::int64_t length = MeasuredLength(c.bytes);
        ASSERT_GT(length, 3) << c.name;
        ASSERT_LT(length, static_cast<std::int64_t>(c.bytes.size())) << c.name << ": the headers end before the data does";
        const auto prefix = [&](std::int64_t n) { return ByteView(c.bytes).first(static_cast<std::size_t>(n)); };
        EXPECT_EQ(IsLargeEnough(MeasurePicture(c.bytes)), c.accepted) << c.name;
        for (const std::int64_t n : {length, length + 1, (length + static_cast<std::int64_t>(c.bytes.size())) / 2}) {
            const PictureSize size = MeasurePicture(prefix(n));
            EXPECT_EQ(size.width, MeasurePicture(c.bytes).width) << c.name << " cut at " << n;
            EXPECT_EQ(size.height, MeasurePicture(c.bytes).height) << c.name << " cut at " << n;
        }
    }
    ByteSet noEnd(4096, 0);
    noEnd[0] = 0xFF, noEnd[1] = 0xD8, noEnd[2] = 0xFF;
    EXPECT_EQ(MeasuredLength(noEnd), -1) << "headers that never end run out of bytes";
    EXPECT_EQ(MeasuredLength(ByteSet{0xFF, 0xD8}), -1);
    ByteSet endInZeros = noEnd;
    endInZeros[3000] = 0xFF, endInZeros[3001] = 0xD9;
    EXPECT_FALSE(IsLargeEnough(MeasurePicture(endInZeros))) << "an end marker amid zeros is no picture";
}

}  // namespace
}  // namespace velkor
