#include <gtest/gtest.h>

#include "carving/dimension_probe.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

ByteSet Filled(std::size_t size, std::initializer_list<std::uint8_t> prefix) {
    ByteSet bytes(size, 0x11);
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    return bytes;
}

void PutLittleEndian32(ByteSet& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A JPEG-looking byte run of length bytes whose first FF C0 sits at p, declaring height 600 and width 800.
ByteSet JpegWithFrameAt(std::size_t length, std::size_t p) {
    ByteSet bytes = Filled(length, {0xFF, 0xD8, 0xFF});
    const std::uint8_t frame[] = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x02, 0x58, 0x03, 0x20};
    for (std::size_t i = 0; i < sizeof frame && p + i < length; ++i) bytes[p + i] = frame[i];
    return bytes;
}

TEST(ProbeImageSize, NeedsMoreThanFiftyFourBytes) {
    ByteSet bmp = Filled(54, {'B', 'M'});
    EXPECT_EQ(ProbeImageSize(bmp).width, 0);
    bmp.push_back(0);
    PutLittleEndian32(bmp, 18, 640);
    PutLittleEndian32(bmp, 22, 480);
    EXPECT_EQ(ProbeImageSize(bmp).width, 640);
    EXPECT_EQ(ProbeImageSize(bmp).height, 480);
}

TEST(ProbeImageSize, ReadsBmpPngAndGif89aHeaders) {
    ByteSet bmp = Filled(100, {'B', 'M'});
    PutLittleEndian32(bmp, 18, 32);
    PutLittleEndian32(bmp, 22, static_cast<std::uint32_t>(-20));
    EXPECT_EQ(ProbeImageSize(bmp).height, -20) << "a top-down bitmap keeps its sign";

    ByteSet png = Filled(100, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A});
    png[16] = 0x80;  // 2^31 and above wrap to negative
    png[17] = png[18] = png[19] = 0;
    png[20] = png[21] = 0;
    png[22] = 0x01;
    png[23] = 0x02;
    EXPECT_EQ(ProbeImageSize(png).width, INT32_MIN);
    EXPECT_EQ(ProbeImageSize(png).height, 258);

    ByteSet gif = Filled(100, {'G', 'I', 'F', '8', '9', 'a', 0x20, 0x03, 0xFF, 0xFF});
    EXPECT_EQ(ProbeImageSize(gif).width, 800);
    EXPECT_EQ(ProbeImageSize(gif).height, 65535);
    gif[4] = '7';
    EXPECT_EQ(ProbeImageSize(gif).width, 0) << "GIF87a is not recognised";
}

TEST(ProbeImageSize, ReadsTheFirstBaselineFrameOfAJpeg) {
    const ProbedSize worked = ProbeImageSize(JpegWithFrameAt(20000, 158));
    EXPECT_EQ(worked.height, 600);
    EXPECT_EQ(worked.width, 800);
    const ProbedSize real = ProbeImageSize(testing::MakeJpeg(321, 123));
    EXPECT_EQ(real.width, 321);
    EXPECT_EQ(real.height, 123);
    const ProbedSize thumbnailFirst = ProbeImageSize(testing::MakeJpeg(640, 480, {.exifThumbnail = true}));
    EXPECT_EQ(thumbnailFirst.width, 160) << "an embedded thumbnail's frame comes first";
    if (!testing::CanEncode({.progressive = true})) GTEST_SKIP() << testing::kNoProgressiveEncoder;
    const ProbedSize progressive = ProbeImageSize(testing::MakeJpeg(64, 64, {.progressive = true}));
    EXPECT_EQ(progressive.width, 0);
    EXPECT_EQ(progressive.height, 0);
}

TEST(ProbeImageSize, SearchesOnlyTheSteppedWindow) {
    const std::pair<std::size_t, std::size_t> cases[] = {
        {10001, 10000}, {10000, 5000}, {5001, 5000}, {9000, 5000}, {1001, 1000}, {501, 500}, {600, 500}, {400, 300}};
    for (const auto& [length, window] : cases) {
        EXPECT_EQ(JpegSearchWindow(static_cast<std::int64_t>(length)), static_cast<std::int64_t>(window)) << length;
        EXPECT_EQ(ProbeImageSize(JpegWithFrameAt(length, window - 9)).width, 800) << length;
        EXPECT_EQ(ProbeImageSize(JpegWithFrameAt(length, window)).width, 0) << length << ": beyond the window";
    }
    EXPECT_EQ(JpegSearchWindow(120), 120);
}

TEST(ProbeImageSize, AFrameAtTheWindowsEdgeGivesMinusOneForWhatIsCutOff) {
    const ProbedSize at8 = ProbeImageSize(JpegWithFrameAt(10001, 10000 - 8));
    EXPECT_EQ(at8.height, 600);
    EXPECT_EQ(at8.width, -1);
    const ProbedSize at9 = ProbeImageSize(JpegWithFrameAt(10001, 10000 - 9));
    EXPECT_EQ(at9.height, 600);
    EXPECT_EQ(at9.width, 800);
    EXPECT_EQ(ProbeImageSize(JpegWithFrameAt(10001, 10000 - 6)).height, -1);
}

TEST(BigEndianReaders, ReadInsideTheDataOnly) {
    const ByteSet data = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ReadBigEndian16(data, 2), 0x5678);
    EXPECT_EQ(ReadBigEndian16(data, 3), -1);
    EXPECT_EQ(ReadBigEndian16(data, -1), -1);
    EXPECT_EQ(ReadBigEndian32(data, 0), 0x12345678);
}

}  // namespace
}  // namespace velkor
