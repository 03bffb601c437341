// The camera-like scenes of the benchmark cards and their encoding in camera codings.
#include "host/camera_scene.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "host/photo_synth.h"

namespace velkor::synth {
namespace {

// Mean absolute difference per channel between a scene rendered large and shrunk by block
// averaging, and the same scene rendered at the small size.
double ShrunkDifference(const SceneOptions& large, const SceneOptions& small) {
    const int factor = 8, width = 160, height = 120;
    const std::vector<std::uint8_t> big = RenderScene(width * factor, height * factor, large);
    const std::vector<std::uint8_t> little = RenderScene(width, height, small);
    double total = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    for (int dx = 0; dx < factor; ++dx) {
                        sum += big[(static_cast<std::size_t>(y * factor + dy) * width * factor + x * factor + dx) * 3 + c];
                    }
                }
                total += std::abs(sum / (factor * factor) - little[(static_cast<std::size_t>(y) * width + x) * 3 + c]);
            }
        }
    }
    return total / (width * height * 3);
}

// The byte at offsetInSegment (counted from the length field) of the first segment with the
// given marker before the scan data, or -1 when there is none.
int MarkerAt(const ByteSet& jpeg, std::uint8_t marker, std::size_t offsetInSegment) {
    for (std::size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF;) {
        const std::size_t length = static_cast<std::size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == marker) return i + 2 + offsetInSegment < jpeg.size() ? jpeg[i + 2 + offsetInSegment] : -1;
        if (jpeg[i + 1] == 0xDA) break;
        i += 2 + length;
    }
    return -1;
}

TEST(CameraScene, OneSeedGivesOneSceneAndAnotherSeedAnother) {
    const std::vector<std::uint8_t> first = RenderScene(320, 240, {.seed = 5});
    EXPECT_EQ(first.size(), 320u * 240 * 3);
    EXPECT_EQ(first, RenderScene(320, 240, {.seed = 5}));
    EXPECT_NE(first, RenderScene(320, 240, {.seed = 6}));
    EXPECT_TRUE(RenderScene(15, 240, {}).empty());
}

TEST(CameraScene, AThumbnailShowsItsPhotograph) {
    // Everything is placed in fractions of the frame: shrinking the large rendering gives the
    // small one up to edges and stripes, and nothing like another seed's scene.
    const double same = ShrunkDifference({.seed = 11, .grain = 0}, {.seed = 11, .grain = 0});
    const double other = ShrunkDifference({.seed = 11, .grain = 0}, {.seed = 12, .grain = 0});
    EXPECT_LT(same, 12.0) << same;
    EXPECT_GT(other, 3 * same) << other;
}

TEST(CameraScene, TheImprintChangesOnlyTheLowerRightCorner) {
    const int width = 400, height = 300;
    const std::vector<std::uint8_t> plain = RenderScene(width, height, {.seed = 3});
    const std::vector<std::uint8_t> stamped = RenderScene(width, height, {.seed = 3, .imprint = "2026-03-14 10:31"});
    bool changed = false;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] == stamped[i]) continue;
        changed = true;
        const std::size_t pixel = i / 3;
        ASSERT_GE(pixel % width, static_cast<std::size_t>(width / 2)) << "changed left of the corner";
        ASSERT_GE(pixel / width, static_cast<std::size_t>(height * 9 / 10)) << "changed above the corner";
    }
    EXPECT_TRUE(changed);
}

TEST(CameraScene, GrainMakesCameraSizedFiles) {
    const std::vector<std::uint8_t> scene = RenderScene(2048, 1536, {.seed = 4, .grain = 6});
    const std::vector<std::uint8_t> smooth = RenderScene(2048, 1536, {.seed = 4, .grain = 0});
    const std::size_t grainy = EncodePixels(scene, 2048, 1536, {.quality = 92}).size();
    EXPECT_GT(grainy, 300000u);
    EXPECT_GT(grainy, 3 * EncodePixels(smooth, 2048, 1536, {.quality = 92}).size());
}

TEST(EncodePixels, WritesTheCodingAsked) {
    const std::vector<std::uint8_t> scene = RenderScene(64, 48, {.seed = 2});
    const ByteSet baseline = EncodePixels(scene, 64, 48, {.horizontalSampling = 2, .verticalSampling = 1});
    EXPECT_EQ(MarkerAt(baseline, 0xC0, 7), 3) << "three components";
    EXPECT_EQ(MarkerAt(baseline, 0xC0, 9), 0x21) << "4:2:2";
    EXPECT_EQ(MarkerAt(baseline, 0xDD, 3), -1) << "no restart interval";
    const ByteSet progressive = EncodePixels(scene, 64, 48, {.progressive = true, .horizontalSampling = 1, .verticalSampling = 1});
    EXPECT_EQ(MarkerAt(progressive, 0xC0, 7), -1);
    EXPECT_EQ(MarkerAt(progressive, 0xC2, 9), 0x11) << "4:4:4";
    const ByteSet gray = EncodePixels(scene, 64, 48, {.grayscale = true, .restartRows = 1});
    EXPECT_EQ(MarkerAt(gray, 0xC0, 7), 1) << "one component";
    EXPECT_EQ(MarkerAt(gray, 0xDD, 3), 64 / 8) << "a restart interval of one row of 8 x 8 blocks";
    EXPECT_THROW(EncodePixels(scene, 65, 48, {}), std::runtime_error);
}

}  // namespace
}  // namespace velkor::synth
