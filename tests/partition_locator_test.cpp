#include "device/partition_locator.h"

#include <gtest/gtest.h>

#include "device/scan_state.h"
#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "tests/support/partition_images.h"

namespace velkor {
namespace {

using testing::BootRecord;
using testing::DiskImage;
using testing::UnsizedLetters;

class PartitionLocatorTest : public ::testing::Test {
  protected:
    void TearDown() override { UseDiscoveredDriveTable(); }
    // Sector counts of letters C, D, ... of one disk image.
    std::vector<std::int64_t> CountsOf(const std::string& image, int letters) {
        ArrangeDriveTable({{0, image}}, UnsizedLetters(image, 0, 'C', letters));
        std::vector<std::int64_t> counts;
        for (char letter = 'C'; letter < 'C' + letters; ++letter)
            counts.push_back(LocatePartitionSectors({letter}));
        return counts;
    }
    testing::ScratchDir dir_;
};

TEST_F(PartitionLocatorTest, WorkedExampleWithRanksAmongOtherDisks) {
    const std::string image = DiskImage(dir_, "a.img", {{0x07, 1000000}, {0x0F, 0}}, {2000000, 500000});
    const std::string other = DiskImage(dir_, "b.img", {{0x07, 99}, {0x00, 55}}, {});
    std::vector<ArrangedVolume> volumes = UnsizedLetters(image, 0, 'C', 3);
    volumes.insert(volumes.begin(), {.letter = "B", .source = other, .diskNumber = 1});
    volumes.push_back({.letter = "F", .source = other, .diskNumber = 1});
    volumes.push_back({.letter = "G", .source = image, .diskNumber = 0});
    volumes.push_back({.letter = "H", .source = image, .diskNumber = 5});
    ArrangeDriveTable({{0, image}, {1, other}}, volumes);

    EXPECT_EQ(LocatePartitionSectors("C"), 1000000);
    EXPECT_EQ(LocatePartitionSectors("D"), 2000000);
    EXPECT_EQ(LocatePartitionSectors("e"), 500000);
    EXPECT_EQ(VolumeOrdinalOnDisk("C"), 1);
    EXPECT_EQ(VolumeOrdinalOnDisk("e"), 3);
    EXPECT_EQ(VolumeOrdinalOnDisk("G"), 4);
    EXPECT_EQ(VolumeOrdinalOnDisk("F"), 2);
    EXPECT_EQ(LocatePartitionSectors("F"), 55) << "rank 2 takes entry 2 even when it is marked empty";
    EXPECT_EQ(LocatePartitionSectors("B"), 99);
    EXPECT_EQ(VolumeOrdinalOnDisk("A"), -1);
    EXPECT_EQ(LocatePartitionSectors("A"), 0);
    EXPECT_EQ(VolumeOrdinalOnDisk("H"), 1);
    EXPECT_EQ(LocatePartitionSectors("H"), 0) << "its physical drive 5 cannot be opened";
}

TEST_F(PartitionLocatorTest, ExtendedEntryWalksTheChainUnlessAPrimaryEntryWins) {
    const std::string image = DiskImage(dir_, "x.img", {{0x07, 1000}, {0x0F, 0}, {0x07, 3333}, {0x00, 0}},
                                        {2000, 3000, 4000, 5000});
    EXPECT_EQ(CountsOf(image, 6), (std::vector<std::int64_t>{1000, 2000, 3333, 4000, 5000, 0}));
}

TEST_F(PartitionLocatorTest, WithoutExtendedEntry2OnlyRanksOneToFourCount) {
    const std::string other = DiskImage(dir_, "y.img", {{0x07, 100}, {0x05, 5000}}, {777, 888, 999});
    EXPECT_EQ(CountsOf(other, 5), (std::vector<std::int64_t>{100, 5000, 0, 0, 0})) << "type 05 is not walked";
    const std::string empty = DiskImage(dir_, "z.img", {{0x00, 11}, {0x07, 42}, {0x00, 7}, {0x0F, 9}}, {});
    EXPECT_EQ(CountsOf(empty, 5), (std::vector<std::int64_t>{11, 42, 0, 0, 0}));
    const std::string first = DiskImage(dir_, "w.img", {{0x0F, 64}, {0x07, 8}, {0x06, 5}}, {});
    EXPECT_EQ(CountsOf(first, 3), (std::vector<std::int64_t>{0, 8, 5}));
}

TEST_F(PartitionLocatorTest, CountsOf2To31AndMoreKeepTheirValueAlongTheChain) {
    const std::string image = DiskImage(dir_, "big.img", {{0x07, 0x80000000u}, {0x0F, 0}}, {0x90000000u});
    EXPECT_EQ(CountsOf(image, 2), (std::vector<std::int64_t>{2147483648, 2415919104}));
    const std::string whole = DiskImage(dir_, "full.img", {{0x07, 0xFFFFFFFFu}}, {});
    EXPECT_EQ(CountsOf(whole, 1), (std::vector<std::int64_t>{4294967295}));
}

TEST(SectorText, HexTextAndTableTextOfASector) {
    const std::string hex = ByteSetHexText(BootRecord({{0x0B, 0x1234}}));
    ASSERT_EQ(hex.size(), 1024u);
    const std::string table = PartitionTableText(hex);
    EXPECT_EQ(table, hex.substr(892));
    EXPECT_EQ(table.substr(8, 2) + table.substr(24, 8) + table.substr(128), "0B3412000055AA");
    EXPECT_EQ(ByteSetHexText(ByteSet{0x00, 0x0A, 0xF0}), "000AF0");
    EXPECT_EQ(PartitionTableText(ByteSetHexText(ByteSet{})), "");
}

}  // namespace
}  // namespace velkor
