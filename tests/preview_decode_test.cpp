// The preview decoder on camera photos and hostile candidates: what every system's decoder
// must give the picture box, whichever library decodes.
#include "platform/preview_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/picture_measure.h"
#include "tests/support/jpeg_edit.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::JpegOptions;
using testing::MakeJpeg;
using testing::WithFrameSize;
using testing::WithScanCount;

constexpr int kBoxWidth = testing::kPictureBoxWidth;
constexpr int kBoxHeight = testing::kPictureBoxHeight;
constexpr long long kMemoryBound = testing::kPreviewMemoryBound;
constexpr auto kNotFrozen = testing::kPreviewNotFrozen;

// The mean of each channel over each quarter of the picture: enough to tell the same picture
// from a flipped one, one with its channels swapped, or noise.
using QuarterMeans = std::array<double, 12>;

QuarterMeans MeansOf(const PreviewPicture& picture) {
    QuarterMeans sums{};
    std::array<double, 4> counts{};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const int quarter = (y * 2 / picture.height) * 2 + x * 2 / picture.width;
            counts[static_cast<std::size_t>(quarter)] += 1;
            for (int c = 0; c < 3; ++c) {
                sums[static_cast<std::size_t>(quarter * 3 + c)] +=
                    picture.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) + x) * 3 + c];
            }
        }
    }
    for (std::size_t k = 0; k < sums.size(); ++k) sums[k] /= counts[k / 3];
    return sums;
}

double LargestDifference(const QuarterMeans& a, const QuarterMeans& b) {
    double largest = 0;
    for (std::size_t k = 0; k < a.size(); ++k) largest = std::max(largest, std::abs(a[k] - b[k]));
    return largest;
}

TEST(PreviewDecode, CameraCodingsAreShownFittedToTheBoxWithTheirContent) {
    int decoded = 0;
    for (const testing::NamedCoding& coding : testing::CameraCodings()) {
        if (!testing::CanEncode(coding.options)) continue;
        const ByteSet photo = MakeJpeg(2000, 1000, coding.options);
        const PreviewPicture preview = DecodePreview(photo, kBoxWidth, kBoxHeight);
        ASSERT_EQ(preview.outcome, PreviewOutcome::kDecoded) << coding.name;
        EXPECT_EQ(preview.shownWidth, 488) << coding.name << ": fills the box's width";
        EXPECT_EQ(preview.shownHeight, 244) << coding.name << ": keeps the aspect ratio";
        EXPECT_GE(preview.width, preview.shownWidth) << coding.name << ": the pixels cover the shown size";
        EXPECT_GE(preview.height, preview.shownHeight) << coding.name;
        EXPECT_LT(preview.width, 2000) << coding.name << ": a preview needs no full-size decode";
        ASSERT_EQ(preview.rgb.size(), static_cast<std::size_t>(preview.width) * preview.height * 3) << coding.name;
        const PreviewPicture full = DecodePreview(photo, 2000, 1000);
        ASSERT_EQ(full.width, 2000) << coding.name << ": a box the picture's size takes it whole";
        EXPECT_LT(LargestDifference(MeansOf(preview), MeansOf(full)), 4.0) << coding.name << ": the same picture, reduced";
        ++decoded;
    }
    EXPECT_GE(decoded, 2) << "every system's encoder writes 4:2:0 and grayscale";
}

TEST(PreviewDecode, SmallPicturesAreNeitherEnlargedNorReducedAndTallOnesFitTheHeight) {
    const PreviewPicture small = DecodePreview(MakeJpeg(40, 30), kBoxWidth, kBoxHeight);
    ASSERT_EQ(small.outcome, PreviewOutcome::kDecoded);
    EXPECT_EQ(small.width, 40);
    EXPECT_EQ(small.height, 30);
    EXPECT_EQ(small.shownWidth, 40);
    EXPECT_EQ(small.shownHeight, 30);
    const PreviewPicture tall = DecodePreview(MakeJpeg(600, 3000), kBoxWidth, kBoxHeight);
    ASSERT_EQ(tall.outcome, PreviewOutcome::kDecoded);
    EXPECT_EQ(tall.shownHeight, 392);
    EXPECT_EQ(tall.shownWidth, 78);
}

// Each case runs in its own process under ctest on Linux, so the peak resident size starts
// near the process's own size; the window's decoder once took gigabytes for pictures like these.
TEST(PreviewDecode, HostileFrameSizesAreRefusedQuicklyWithinBoundedMemory) {
    const long long before = testing::PeakResidentBytes();
    const struct {
        const char* name;
        JpegOptions options;
        int width;
        int height;
    } cases[] = {{"progressive 4:2:0", {.progressive = true}, 32768, 32768},
                 {"progressive 4:4:4", {.progressive = true, .horizontalSampling = 1, .verticalSampling = 1}, 32768, 32768},
                 {"progressive grayscale", {.progressive = true, .grayscale = true}, 32768, 32768},
                 {"baseline just over the pixel cap", {}, 65500, 16394}};
    static_assert(65500LL * 16394 > kMaxPicturePixels && 65500LL * 16393 <= kMaxPicturePixels);
    for (const auto& coding : cases) {
        if (!testing::CanEncode(coding.options)) continue;
        const ByteSet hostile = WithFrameSize(MakeJpeg(64, 64, coding.options), coding.width, coding.height);
        const auto start = std::chrono::steady_clock::now();
        const PreviewPicture preview = DecodePreview(hostile, kBoxWidth, kBoxHeight);
        EXPECT_LT(std::chrono::steady_clock::now() - start, kNotFrozen) << coding.name;
        EXPECT_EQ(preview.outcome, PreviewOutcome::kTooLarge) << coding.name;
        EXPECT_TRUE(preview.rgb.empty()) << coding.name;
        EXPECT_EQ(preview.shownWidth, 0) << coding.name;
        EXPECT_LT(testing::PeakResidentBytes() - before, kMemoryBound) << coding.name;
    }
}

TEST(PreviewDecode, ProgressivePicturesDecodeUpToTheScanLimitAndNoFurther) {
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ByteSet progressive = MakeJpeg(64, 64, {.progressive = true});
    EXPECT_EQ(DecodePreview(WithScanCount(progressive, kMaxPictureScans), kBoxWidth, kBoxHeight).outcome,
              PreviewOutcome::kDecoded);
    EXPECT_EQ(DecodePreview(WithScanCount(progressive, kMaxPictureScans + 1), kBoxWidth, kBoxHeight).outcome,
              PreviewOutcome::kTooManyScans);
    const auto start = std::chrono::steady_clock::now();
    const PreviewPicture many = DecodePreview(WithScanCount(progressive, 3000), kBoxWidth, kBoxHeight);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kNotFrozen);
    EXPECT_EQ(many.outcome, PreviewOutcome::kTooManyScans);
    EXPECT_TRUE(many.rgb.empty());
}

TEST(PreviewDecode, BytesThatAreNoDecodableJpegAreRefused) {
    const ByteSet photo = MakeJpeg(64, 48);
    const ByteSet headersOnly(
        photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(testing::LayoutOf(photo).scans[0].first));
    const ByteSet samples[] = {
        {},          BytesOf("not a picture at all"), ByteSet(4096, 0xFF), {0xFF, 0xD8, 0xFF, 0xD9},
        headersOnly, WithFrameSize(photo, 0, 48)};
    for (const ByteSet& bytes : samples) {
        const PreviewPicture preview = DecodePreview(bytes, kBoxWidth, kBoxHeight);
        EXPECT_EQ(preview.outcome, PreviewOutcome::kNotDecodable) << bytes.size() << " bytes";
        EXPECT_TRUE(preview.rgb.empty());
    }
}

}  // namespace
}  // namespace velkor
