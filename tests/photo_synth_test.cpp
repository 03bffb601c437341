// The synthesised photographs the suites stand on: each system's encoder must write the
// coding asked for, or the suites that vary it test less than they claim.
#include "host/photo_synth.h"

#include <gtest/gtest.h>

#include "tests/support/jpeg_edit.h"

namespace velkor {
namespace {

using synth::JpegOptions;
using synth::MakeJpeg;

struct Frame {
    std::uint8_t marker = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    std::uint8_t lumaSampling = 0;  // horizontal factor in the high nibble, vertical in the low
};

Frame FrameOf(const ByteSet& jpeg) {
    const std::size_t at = testing::LayoutOf(jpeg).frame;
    return {jpeg.at(at + 1), jpeg.at(at + 7) << 8 | jpeg.at(at + 8), jpeg.at(at + 5) << 8 | jpeg.at(at + 6),
            jpeg.at(at + 9), jpeg.at(at + 11)};
}

TEST(MakeJpeg, WritesTheCodingItIsAskedFor) {
    const struct {
        const char* what;
        JpegOptions options;
        Frame expected;
    } cases[] = {
        {"4:2:0", {}, {0xC0, 96, 64, 3, 0x22}},
        {"4:2:2", {.horizontalSampling = 2, .verticalSampling = 1}, {0xC0, 96, 64, 3, 0x21}},
        {"4:4:4", {.horizontalSampling = 1, .verticalSampling = 1}, {0xC0, 96, 64, 3, 0x11}},
        {"grayscale", {.grayscale = true}, {0xC0, 96, 64, 1, 0x11}},
        {"progressive", {.progressive = true}, {0xC2, 96, 64, 3, 0x22}},
    };
    for (const auto& c : cases) {
        if (!synth::CanEncode(c.options)) continue;
        const Frame frame = FrameOf(MakeJpeg(96, 64, c.options));
        EXPECT_EQ(frame.marker, c.expected.marker) << c.what;
        EXPECT_EQ(frame.width, c.expected.width) << c.what;
        EXPECT_EQ(frame.height, c.expected.height) << c.what;
        EXPECT_EQ(frame.components, c.expected.components) << c.what;
        EXPECT_EQ(frame.lumaSampling, c.expected.lumaSampling) << c.what;
    }
}

TEST(MakeJpeg, QualityAndSeedChangeThePicture) {
    if (synth::CanEncode({.quality = 30})) {
        EXPECT_LT(MakeJpeg(160, 120, {.quality = 30}).size(), MakeJpeg(160, 120, {.quality = 95}).size());
    }
    EXPECT_NE(MakeJpeg(64, 64, {.seed = 1}), MakeJpeg(64, 64, {.seed = 2}));
    EXPECT_EQ(MakeJpeg(64, 64, {.seed = 3}), MakeJpeg(64, 64, {.seed = 3}));
}

TEST(MakeJpeg, PutsTheThumbnailInAnApp1RightAfterTheStart) {
    for (const int padding : {0, 300}) {
        const ByteSet jpeg = MakeJpeg(320, 240, {.exifThumbnail = true, .thumbnailPadding = padding});
        ASSERT_GT(jpeg.size(), 12u);
        EXPECT_EQ(ByteSet(jpeg.begin(), jpeg.begin() + 4), (ByteSet{0xFF, 0xD8, 0xFF, 0xE1}));
        EXPECT_EQ(ByteSet(jpeg.begin() + 6, jpeg.begin() + 12), BytesOf(std::string_view("Exif\0\0", 6)));
        EXPECT_EQ(ByteSet(jpeg.begin() + 12, jpeg.begin() + 14), (ByteSet{0xFF, 0xD8})) << "the thumbnail's own start";
        const auto thumbnailEnd = static_cast<std::ptrdiff_t>(4 + (jpeg[4] << 8 | jpeg[5]) - padding);
        EXPECT_EQ(ByteSet(jpeg.begin() + thumbnailEnd - 2, jpeg.begin() + thumbnailEnd), (ByteSet{0xFF, 0xD9}))
            << "the thumbnail ends where its padding begins";
        EXPECT_EQ(FrameOf(jpeg).width, 320) << "the walk past the thumbnail finds the picture's frame";
    }
}

TEST(PadJpegTo, MakesThePictureExactlyThatLongWithoutChangingItsFrame) {
    const ByteSet jpeg = MakeJpeg(48, 48);
    for (const std::size_t size : {jpeg.size() + 4, jpeg.size() + 5, jpeg.size() + 70000, jpeg.size() + 65541}) {
        const ByteSet padded = synth::PadJpegTo(jpeg, size);
        EXPECT_EQ(padded.size(), size);
        EXPECT_EQ(FrameOf(padded).width, 48) << size;
        EXPECT_EQ(ByteSet(padded.end() - 2, padded.end()), (ByteSet{0xFF, 0xD9})) << size;
    }
    EXPECT_THROW(synth::PadJpegTo(jpeg, jpeg.size() + 3), std::runtime_error);
}

}  // namespace
}  // namespace velkor
