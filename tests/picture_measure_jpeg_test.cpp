// libjpeg's measuring unit: the length it says it read is where libjpeg stopped reading, so
// one byte less runs out, and it reads on through bytes that never reach a scan.
#include "platform/picture_measure.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace velkor {
namespace {

TEST(MeasuredLengthJpeg, IsWhereLibjpegStoppedReading) {
    for (const testing::MeasuredCase& c : testing::MeasuredCases()) {
        const std::int64_t length = MeasuredLength(c.bytes);
        ASSERT_GT(length, 3) << c.name;
        EXPECT_EQ(MeasuredLength(ByteView(c.bytes).first(static_cast<std::size_t>(length) - 1)), -1)
            << c.name << ": one byte less runs out";
    }
    ByteSet endInZeros(4096, 0);
    endInZeros[0] = 0xFF, endInZeros[1] = 0xD8, endInZeros[2] = 0xFF;
    endInZeros[3000] = 0xFF, endInZeros[3001] = 0xD9;
    EXPECT_GT(MeasuredLength(endInZeros), 3000) << "libjpeg reads up to the end marker, and finds no picture";
}

}  // namespace
}  // namespace velkor
