#include <gtest/gtest.h>

#include "platform/bytes.h"

namespace velkor {
namespace {

const ByteSet kEndMarker = {0xFF, 0xD9, 0x00, 0x00};

TEST(GrowableBuffer, FindReportsOneBasedPositionOfFirstOccurrence) {
    GrowableBuffer buffer;
    buffer.Append(BytesOf("ab"));
    buffer.Append(kEndMarker);
    buffer.Append(kEndMarker);
    EXPECT_EQ(buffer.Find(kEndMarker), 3);
    EXPECT_EQ(buffer.Find(BytesOf("a")), 1);
}

TEST(GrowableBuffer, FindIsMinusOneWhenAbsentOrCleared) {
    GrowableBuffer buffer;
    EXPECT_EQ(buffer.Find(kEndMarker), -1);
    buffer.Append(ByteSet{0xFF, 0xD9, 0x00});
    EXPECT_EQ(buffer.Find(kEndMarker), -1) << "a marker cut short at the end is not a match";
    buffer.Append(ByteSet{0x00});
    EXPECT_EQ(buffer.Find(kEndMarker), 1) << "a marker spanning two appends is found";
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Find(kEndMarker), -1);
}

TEST(FindBytes, SearchesFromTheGivenOffsetAndRejectsBadOffsets) {
    const ByteSet data = {1, 0xFF, 0xD9, 0, 0, 0xFF, 0xD9, 0, 0};
    EXPECT_EQ(FindBytes(data, kEndMarker), 1);
    EXPECT_EQ(FindBytes(data, kEndMarker, 2), 5);
    EXPECT_EQ(FindBytes(data, kEndMarker, 6), -1);
    EXPECT_EQ(FindBytes(data, kEndMarker, -1), -1);
    EXPECT_EQ(FindBytes(data, kEndMarker, 100), -1);
    EXPECT_EQ(FindBytes(data, ByteSet{}), -1);
}

TEST(FindBytes, FindsNeedlesWhateverByteTheSearchSkipsTo) {
    const ByteSet data = {0x00, 0xFF, 0xFF, 0xD9, 0x00, 0x00, 0xD9, 0xFF, 0xD8, 0xFF};
    EXPECT_EQ(FindBytes(data, kEndMarker), 2) << "a leading FF that does not start the marker is passed over";
    EXPECT_EQ(FindBytes(data, kEndMarker, 3), -1) << "a match must start at or after from";
    EXPECT_EQ(FindBytes(data, ByteSet{0xFF, 0xD8, 0xFF}), 7) << "a match that ends the data counts";
    EXPECT_EQ(FindBytes(data, ByteSet{0xFF, 0xD8, 0xFF, 0x00}), -1) << "a match may not run past the end";
    EXPECT_EQ(FindBytes(data, ByteSet{0x00, 0x00}), 4) << "a needle of only 00 and FF bytes";
    EXPECT_EQ(FindBytes(ByteSet{0xD9}, ByteSet{0xFF, 0xD9}), -1);
}

}  // namespace
}  // namespace velkor
