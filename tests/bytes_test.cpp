#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/byte_scan.h"
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

// Every occurrence is offered in order, whether it falls in a whole block of the search or
// in the bytes that end the data, and the search stops at the first one the caller wants.
TEST(FindByteWhere, OffersEveryOccurrenceInOrderAndStopsWhereTheCallerSays) {
    std::mt19937 random(7);
    for (int size = 0; size <= 70; ++size) {
        ByteSet data(static_cast<std::size_t>(size));
        for (auto& byte : data) byte = random() % 3 == 0 ? 0xFF : static_cast<std::uint8_t>(random() % 4);
        for (std::int64_t from = 0; from <= size; from += 5) {
            std::vector<std::int64_t> offered;
            const std::int64_t none = FindByteWhere(data, from, 0xFF, [&](std::int64_t at) {
                offered.push_back(at);
                return false;
            });
            std::vector<std::int64_t> expected;
            for (std::int64_t at = from; at < size; ++at) {
                if (data[static_cast<std::size_t>(at)] == 0xFF) expected.push_back(at);
            }
            EXPECT_EQ(none, size);
            ASSERT_EQ(offered, expected) << "size " << size << " from " << from;
            // Stopping at an FF followed by 01 finds the first such pair.
            std::int64_t pair = size;
            for (std::int64_t at : expected) {
                if (at + 1 < size && data[static_cast<std::size_t>(at + 1)] == 0x01) {
                    pair = at;
                    break;
                }
            }
            EXPECT_EQ(FindByteWhere(data, from, 0xFF,
                                    [&](std::int64_t at) { return at + 1 < size && data[at + 1] == 0x01; }),
                      pair);
        }
    }
}

}  // namespace
}  // namespace velkor
