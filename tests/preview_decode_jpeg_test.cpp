// The libjpeg preview decoder: the scale it reduces by, its time limit, damaged photos and
// hostile baseline frames, which it decodes row by row where other decoders refuse them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/picture_measure.h"
#include "platform/preview_decode.h"
#include "tests/support/jpeg_edit.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::MakeJpeg;
using testing::WithFrameSize;

constexpr int kBoxWidth = testing::kPictureBoxWidth;
constexpr int kBoxHeight = testing::kPictureBoxHeight;
constexpr long long kMemoryBound = testing::kPreviewMemoryBound;
constexpr auto kNotFrozen = testing::kPreviewNotFrozen;

int Channel(const PreviewPicture& picture, int x, int y, int c) {
    return picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + c];
}

// Mean absolute difference between reduced and full averaged over the block each reduced pixel stands for.
double DifferenceFromFull(const PreviewPicture& reduced, const PreviewPicture& full) {
    const int block = full.width / reduced.width;
    double total = 0;
    for (int y = 0; y < reduced.height; ++y) {
        for (int x = 0; x < reduced.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < block; ++dy) {
                    for (int dx = 0; dx < block; ++dx)
                        sum += Channel(full, x * block + dx, y * block + dy, c);
                }
                total += std::abs(Channel(reduced, x, y, c) - sum / (block * block));
            }
        }
    }
    return total / (3.0 * reduced.width * reduced.height);
}

// Mean absolute difference over rows [from, to) of two pictures of the same size.
double RowDifference(const PreviewPicture& a, const PreviewPicture& b, int from, int to) {
    double total = 0;
    for (int y = from; y < to; ++y) {
        for (int x = 0; x < a.width; ++x) {
            for (int c = 0; c < 3; ++c) total += std::abs(Channel(a, x, y, c) - Channel(b, x, y, c));
        }
    }
    return total / (3.0 * a.width * (to - from));
}

bool RowsAreGrey(const PreviewPicture& picture, int from, int to) {
    for (int y = from; y < to; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (std::abs(Channel(picture, x, y, c) - 128) > 1) return false;
            }
        }
    }
    return true;
}

TEST(PreviewDecodeJpeg, CameraCodingsDecodeAtTheStrongestReductionThatCoversTheBox) {
    for (const testing::NamedCoding& coding : testing::CameraCodings()) {
        const ByteSet photo = MakeJpeg(2000, 1000, coding.options);
        const PreviewPicture preview = DecodePreview(photo, kBoxWidth, kBoxHeight);
        ASSERT_EQ(preview.outcome, PreviewOutcome::kDecoded) << coding.name;
        EXPECT_EQ(preview.width, 500) << coding.name << ": 1/4 is the strongest reduction that covers 488";
        EXPECT_EQ(preview.height, 250) << coding.name;
        ASSERT_EQ(preview.rgb.size(), 500u * 250u * 3u) << coding.name;
        const PreviewPicture full = DecodePreview(photo, 2000, 1000);
        ASSERT_EQ(full.width, 2000) << coding.name;
        EXPECT_LT(DifferenceFromFull(preview, full), 6.0) << coding.name << ": the same picture, reduced";
    }
}

// A camera's progressive photo keeps every coefficient in memory; one of 24 megapixels
// (6000 x 4000 at 4:2:0, about 72 MB of coefficients) still shows.
TEST(PreviewDecodeJpeg, ALargeProgressivePhotoStillShows) {
    const ByteSet photo = WithFrameSize(MakeJpeg(64, 64, {.progressive = true}), 6000, 4000);
    const PreviewPicture preview = DecodePreview(photo, kBoxWidth, kBoxHeight);
    EXPECT_EQ(preview.outcome, PreviewOutcome::kDecoded);
    EXPECT_FALSE(preview.rgb.empty());
}

// A baseline picture needs no whole-picture buffer, so one declaring a billion pixels decodes
// (grey past its few real rows) or runs out of time; either way the window comes back.
TEST(PreviewDecodeJpeg, AHostileBaselineFrameEndsWithinTimeAndMemory) {
    const long long before = testing::PeakResidentBytes();
    const ByteSet hostile =
        WithFrameSize(MakeJpeg(64, 64, {.horizontalSampling = 1, .verticalSampling = 1}), 32768, 32768);
    const auto start = std::chrono::steady_clock::now();
    const PreviewPicture preview = DecodePreview(hostile, kBoxWidth, kBoxHeight);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kNotFrozen);
    EXPECT_LT(testing::PeakResidentBytes() - before, kMemoryBound);
    EXPECT_TRUE(preview.outcome == PreviewOutcome::kDecoded || preview.outcome == PreviewOutcome::kTimedOut);
    if (preview.outcome == PreviewOutcome::kDecoded) {
        EXPECT_EQ(preview.width, 4096) << "decoded at 1/8";
        EXPECT_EQ(preview.shownWidth, 392);
    }
}

TEST(PreviewDecodeJpeg, AHugeBoxNeverMakesTheDecodedPixelsPassTheMemoryCap) {
    const ByteSet picture = WithFrameSize(MakeJpeg(64, 64), 8192, 8192);
    const PreviewPicture preview = DecodePreview(picture, 8192, 8192);
    ASSERT_EQ(preview.outcome, PreviewOutcome::kDecoded);
    EXPECT_EQ(preview.shownWidth, 8192);
    EXPECT_EQ(preview.width, 4096) << "whole it would take 192 MB, over the cap";
    EXPECT_LE(static_cast<long long>(preview.rgb.size()), kPreviewMemoryCap);
}

TEST(PreviewDecodeJpeg, ADecodePastItsTimeLimitIsRefused) {
    const PreviewPicture late =
        DecodePreview(MakeJpeg(640, 480), kBoxWidth, kBoxHeight, std::chrono::milliseconds(0));
    EXPECT_EQ(late.outcome, PreviewOutcome::kTimedOut);
    EXPECT_TRUE(late.rgb.empty());
    EXPECT_EQ(late.shownWidth, 0);
}

TEST(PreviewDecodeJpeg, ATruncatedPhotoShowsItsTopAndGreyBelow) {
    for (const bool restarts : {false, true}) {
        const ByteSet photo = MakeJpeg(480, 320, {.restartRows = restarts ? 1 : 0});
        const PreviewPicture full = DecodePreview(photo, 480, 320);
        ASSERT_EQ(full.outcome, PreviewOutcome::kDecoded);
        const ByteSet truncated(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(photo.size() / 2));
        const PreviewPicture top = DecodePreview(truncated, 480, 320);
        ASSERT_EQ(top.outcome, PreviewOutcome::kDecoded) << "restarts " << restarts;
        ASSERT_EQ(top.width, 480);
        ASSERT_EQ(top.height, 320);
        EXPECT_LT(RowDifference(top, full, 0, 80), 1.0)
            << "restarts " << restarts << ": the rows the data holds";
        EXPECT_TRUE(RowsAreGrey(top, 280, 320))
            << "restarts " << restarts << ": libjpeg's fill past the data";
        EXPECT_FALSE(RowsAreGrey(full, 280, 320)) << "the photo's own bottom is not grey";
    }
}

}  // namespace
}  // namespace velkor
