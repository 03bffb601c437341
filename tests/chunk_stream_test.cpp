// Reading ahead: chunks arrive whole in the slot of their turn, the chunk behind one
// follows it in memory whichever slot each is in, and a slow read is given up promptly.
#include "device/chunk_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "platform/drive_table.h"
#include "platform/mirrored_slots.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

// Eight bytes that name a byte offset, so a read from the wrong place shows.
ByteSet Mark(std::int64_t offset) {
    ByteSet mark(8);
    std::memcpy(mark.data(), &offset, sizeof offset);
    return mark;
}

bool HoldsMark(ByteView bytes, std::size_t at, std::int64_t offset) {
    const ByteSet mark = Mark(offset);
    return bytes.size() >= at + mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(MirroredSlots, EachSlotRunsOnIntoTheOther) {
    constexpr std::size_t kSlot = 1 << 16;
    MirroredSlots slots(kSlot);
    ASSERT_TRUE(slots.Valid());
    std::memset(slots.Slot(0), 0x00, kSlot);
    std::memset(slots.Slot(1), 0x11, kSlot);
    slots.Slot(0)[0] = 0xA0;
    slots.Mirror(0);
    slots.Mirror(1);
    const ByteView fromOne = slots.From(1, kSlot - 2, 4);
    EXPECT_EQ(fromOne.size(), 4u);
    EXPECT_EQ(ByteSet(fromOne.begin(), fromOne.end()), (ByteSet{0x11, 0x11, 0xA0, 0x00}));
    const ByteView fromZero = slots.From(0, kSlot - 1, 2);
    EXPECT_EQ(ByteSet(fromZero.begin(), fromZero.end()), (ByteSet{0x00, 0x11}));
    EXPECT_EQ(slots.From(1, 10, 4 * kSlot).size(), 2 * kSlot - 10) << "cut to what the two slots hold";
    EXPECT_FALSE(MirroredSlots(kSlot + 1).Valid()) << "slots must be whole pages";
}

class ChunkStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = dir_.File("card.img");
        for (const std::int64_t offset : {std::int64_t{0}, kChunkBytes - 8, kChunkBytes, 2 * kChunkBytes - 8, 2 * kChunkBytes,
                                          3 * kChunkBytes - 8}) {
            testing::PlaceBytes(image_, offset, Mark(offset));
        }
        // Written before it becomes drive C: Wine gives a file's last change as its
        // creation time, and the drive layer takes a file created anew for another device.
        testing::UseImageAsDriveC(image_, 3 * kChunkSectors);
    }
    void TearDown() override {
        ClearInjectedFaults();
        UseDiscoveredDriveTable();
    }

    static void Await(ChunkStream& stream, std::int64_t start) {
        stream.Fetch(start);
        ASSERT_TRUE(stream.Arrived(start, 10s));
    }

    testing::ScratchDir dir_;
    std::string image_;
};

TEST_F(ChunkStreamTest, ChunksFollowOneAnotherInMemoryWhicheverSlotHoldsThem) {
    ChunkStream stream("C");
    ASSERT_TRUE(stream.Valid());
    Await(stream, 0);
    Await(stream, kChunkSectors);
    const ByteView first = stream.From(0, 0, static_cast<std::size_t>(2 * kChunkBytes));
    EXPECT_TRUE(HoldsMark(first, 0, 0));
    EXPECT_TRUE(HoldsMark(first, kChunkBytes - 8, kChunkBytes - 8));
    EXPECT_TRUE(HoldsMark(first, kChunkBytes, kChunkBytes));
    // The third chunk takes the first one's slot and still follows the second.
    Await(stream, 2 * kChunkSectors);
    const ByteView second = stream.From(kChunkSectors, 0, static_cast<std::size_t>(2 * kChunkBytes));
    EXPECT_TRUE(HoldsMark(second, 0, kChunkBytes));
    EXPECT_TRUE(HoldsMark(second, kChunkBytes - 8, 2 * kChunkBytes - 8));
    EXPECT_TRUE(HoldsMark(second, kChunkBytes, 2 * kChunkBytes));
    EXPECT_TRUE(HoldsMark(second, 2 * kChunkBytes - 8, 3 * kChunkBytes - 8));
    EXPECT_TRUE(stream.ReportOf(2 * kChunkSectors).opened);
    EXPECT_FALSE(stream.ReportOf(0).opened) << "the first chunk is no longer there";
}

TEST_F(ChunkStreamTest, ReportsWhatItCouldNotReadAndAVolumeThatDoesNotOpen) {
    InjectReadFailure(image_, kChunkBytes + 4096, kChunkBytes + 4096 + 1023);
    ChunkStream stream("C");
    Await(stream, kChunkSectors);
    const ReadReport report = stream.ReportOf(kChunkSectors);
    EXPECT_TRUE(report.opened);
    EXPECT_EQ(report.unreadableSectors, 2);
    EXPECT_EQ(report.firstUnreadableSector, kChunkSectors + 8);
    ChunkStream missing("Q");
    Await(missing, 0);
    EXPECT_FALSE(missing.ReportOf(0).opened);
}

// A chunk that takes five seconds to come from a slow drive holds nobody up who no
// longer wants it: the stream gives the read up between two requests.
TEST_F(ChunkStreamTest, ASlowReadIsGivenUpPromptly) {
    SimulateBandwidth(image_, 10'000'000);
    const auto begin = std::chrono::steady_clock::now();
    {
        ChunkStream stream("C");
        stream.Fetch(0);
        EXPECT_FALSE(stream.Arrived(0, 200ms));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

}  // namespace
}  // namespace velkor
