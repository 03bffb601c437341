#include "device/partition_locator.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "device/scan_state.h"
#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "platform/window_runtime.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

struct Entry {
    std::uint8_t type = 0;
    std::uint32_t sectors = 0;
};

// A boot record with up to four entries. Start-sector fields hold junk that the
// locator must never use.
ByteSet BootRecord(const std::vector<Entry>& entries) {
    ByteSet sector(kSectorSize, 0);
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const std::size_t at = 446 + 16 * n;
        sector[at + 4] = entries[n].type;
        for (int i = 0; i < 4; ++i) {
            sector[at + 8 + static_cast<std::size_t>(i)] = 0xEE;
            sector[at + 12 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(entries[n].sectors >> (8 * i));
        }
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

// Writes the master boot record and a back-to-back chain of extended boot records
// holding logical partitions of the given sizes; returns the image path.
std::string DiskImage(const testing::ScratchDir& dir, const std::string& name,
                      const std::vector<Entry>& master, const std::vector<std::uint32_t>& logicalSizes) {
    const std::string image = dir.File(name);
    testing::PlaceBytes(image, 0, BootRecord(master));
    std::int64_t position = master.empty() ? 0 : master[0].sectors;
    for (const std::uint32_t size : logicalSizes) {
        position += 63;
        // The link entry points somewhere else on purpose: the walk must not follow it.
        testing::PlaceBytes(image, position * kSectorSize, BootRecord({{0x07, size}, {0x05, 12345}}));
        position += size;
    }
    testing::SizeFile(image, (position + 64) * kSectorSize);
    return image;
}

// Letters C ... of one disk without size answers, so the locator is what measures them.
std::vector<ArrangedVolume> UnsizedLetters(const std::string& image, std::int32_t disk, char first,
                                           int count) {
    std::vector<ArrangedVolume> volumes;
    for (char letter = first; letter < first + count; ++letter) {
        volumes.push_back(
            {.letter = std::string(1, letter), .source = image, .diskNumber = disk, .sizeQueryFails = true});
    }
    return volumes;
}

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

TEST_F(PartitionLocatorTest, SelectDriveTakesTheSizeOrFallsBackToTheTables) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ASSERT_TRUE(BindWindowRuntime());
    const std::string image = DiskImage(dir_, "a.img", {{0x07, 1000000}, {0x0F, 0}}, {2000000});
    const std::string sized = dir_.File("sized.img");
    testing::PlaceBytes(sized, 0, BootRecord({{0x07, 7}}));
    testing::SizeFile(sized, 777 * kSectorSize + 300);
    std::vector<ArrangedVolume> volumes = UnsizedLetters(image, 0, 'C', 2);
    volumes.push_back({.letter = "H", .source = sized, .diskNumber = 1});
    ArrangeDriveTable({{0, image}, {1, sized}}, volumes);
    DriveBox box(nullptr);
    ScanState& state = TheScanState();

    ASSERT_TRUE(box.SelectLetter("D"));
    state.ScanPosition = 123456;
    SelectDrive(box);
    EXPECT_EQ(state.SelectedDrive, "D");
    EXPECT_EQ(state.DeviceSectors, 2000000);
    EXPECT_EQ(state.ScanPosition, 0);

    ASSERT_TRUE(box.SelectLetter("H"));
    SelectDrive(box);
    EXPECT_EQ(state.DeviceSectors, 777) << "the size answer wins over the partition table";

    SelectDriveLetter("Q");
    EXPECT_EQ(state.SelectedDrive, "Q");
    EXPECT_EQ(state.DeviceSectors, 0);
}

}  // namespace
}  // namespace velkor
