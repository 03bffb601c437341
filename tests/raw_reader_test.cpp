#include "device/raw_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "platform/drive_table.h"
#include "platform/device_source.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

constexpr std::int64_t kTwoTo32 = std::int64_t{1} << 32;
constexpr std::int64_t kTwoTo40 = std::int64_t{1} << 40;

// A sector whose bytes name its byte offset, so a read from the wrong place shows.
ByteSet MarkerSector(std::int64_t offset) {
    ByteSet sector(kSectorSize, 0xA5);
    for (int i = 0; i < 8; ++i)
        sector[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(offset >> (8 * i));
    return sector;
}

ByteView SectorOf(const ByteSet& block, std::int64_t index) {
    return ByteView(block).subspan(static_cast<std::size_t>(index * kSectorSize), kSectorSize);
}

bool IsAllZero(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

bool SameBytes(ByteView a, ByteView b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

// One sparse image beyond 1 TiB, marked at the offsets where a 64-bit split can go wrong.
class RawReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::int64_t offset : kMarkedOffsets)
            testing::PlaceBytes(image_, offset, MarkerSector(offset));
        testing::SizeFile(image_, kImageBytes);
        // Bytes behind the end of volume E that a bounded read must not deliver.
        testing::PlaceBytes(image_, kPartStart + kPartBytes, MarkerSector(kPartStart + kPartBytes));
        ArrangeDriveTable({{3, image_}},
                          {{.letter = "C", .source = image_, .diskNumber = 3},
                           {.letter = "D", .source = image_, .diskNumber = 3, .sizeQueryFails = true},
                           {.letter = "E",
                            .source = image_,
                            .offsetBytes = kPartStart,
                            .sizeBytes = kPartBytes,
                            .diskNumber = 3}});
    }
    void TearDown() override { UseDiscoveredDriveTable(); }

    static constexpr std::int64_t kImageBytes = kTwoTo40 + 4 * kChunkBytes + 1000 * kSectorSize;
    static constexpr std::int64_t kPartStart = 2048 * kSectorSize;
    static constexpr std::int64_t kPartBytes = 300 * kSectorSize;
    static constexpr std::int64_t kMarkedOffsets[] = {0,
                                                      kChunkBytes - kSectorSize,
                                                      kPartStart,
                                                      kPartStart + kPartBytes - kSectorSize,
                                                      kTwoTo32 - kSectorSize,
                                                      kTwoTo32,
                                                      kTwoTo40 + 7 * kSectorSize,
                                                      kImageBytes - kSectorSize};
    testing::ScratchDir dir_;
    std::string image_ = dir_.File("disk.img");
};

TEST_F(RawReaderTest, ChunksComeFromTheRightOffsetAcrossThe32BitBoundary) {
    for (const std::int64_t offset :
         {std::int64_t{0}, kTwoTo32 - kSectorSize, kTwoTo32, kTwoTo40 + 7 * kSectorSize}) {
        const ByteSet chunk = ReadVolumeChunk("C", offset / kSectorSize);
        ASSERT_EQ(static_cast<std::int64_t>(chunk.size()), kChunkBytes) << offset;
        EXPECT_TRUE(SameBytes(SectorOf(chunk, 0), MarkerSector(offset))) << "chunk at byte " << offset;
    }
    EXPECT_TRUE(SameBytes(SectorOf(ReadVolumeChunk("C", 0), kChunkSectors - 1),
                          MarkerSector(kChunkBytes - kSectorSize)))
        << "the whole chunk is read, up to its last sector";
    EXPECT_TRUE(SameBytes(SectorOf(ReadVolumeSectors("C", kTwoTo32 / kSectorSize - 1, 2), 1),
                          MarkerSector(kTwoTo32)));
    EXPECT_TRUE(SameBytes(ReadDiskSector(3, (kTwoTo40 + 7 * kSectorSize) / kSectorSize),
                          MarkerSector(kTwoTo40 + 7 * kSectorSize)));
}

TEST_F(RawReaderTest, ReadsPastTheEndKeepTheFullLengthWithAZeroTail) {
    const ByteSet tail = ReadVolumeChunk("C", kImageBytes / kSectorSize - 1000);
    ASSERT_EQ(static_cast<std::int64_t>(tail.size()), kChunkBytes);
    EXPECT_TRUE(SameBytes(SectorOf(tail, 999), MarkerSector(kImageBytes - kSectorSize)));
    EXPECT_TRUE(IsAllZero(ByteView(tail).subspan(1000 * kSectorSize)));
    const ByteSet beyond = ReadVolumeChunk("C", INT64_MAX / 2);
    EXPECT_EQ(static_cast<std::int64_t>(beyond.size()), kChunkBytes) << "beyond the end is zeros, not empty";
    EXPECT_TRUE(IsAllZero(beyond));

    const ByteSet inside = ReadVolumeChunk("E", 0);
    EXPECT_TRUE(SameBytes(SectorOf(inside, 299), MarkerSector(kPartStart + kPartBytes - kSectorSize)));
    EXPECT_TRUE(IsAllZero(ByteView(inside).subspan(300 * kSectorSize))) << "bytes after volume E leaked in";
}

TEST_F(RawReaderTest, QueriesAndTheFailureValuesOfMissingDrives) {
    EXPECT_EQ(GetVolumeTotalBytes("C"), kImageBytes);
    EXPECT_EQ(GetVolumeTotalBytes("E"), kPartBytes);
    EXPECT_EQ(GetVolumeDiskNumber("E"), 3);
    EXPECT_EQ(GetVolumeTotalBytes("D"), 0);
    EXPECT_TRUE(SameBytes(SectorOf(ReadVolumeChunk("D", 0), 0), MarkerSector(0))) << "unsized, yet readable";
    EXPECT_EQ(static_cast<std::int64_t>(ReadVolumeSectors("C", 0, 300000).size()), kLongestPhotoSectors * kSectorSize);
    EXPECT_TRUE(ReadVolumeChunk("Q", 0).empty());
    EXPECT_TRUE(ReadVolumeSectors("Q", 0, 1).empty());
    EXPECT_EQ(GetVolumeTotalBytes("Q"), 0);
    EXPECT_EQ(GetVolumeDiskNumber("Q"), -1);
    EXPECT_TRUE(ReadDiskSector(-1, 0).empty());
    EXPECT_TRUE(ReadDiskSector(4, 0).empty());
}

TEST(BinaryText, DigitsPaddingAndHalves) {
    EXPECT_EQ(ToBinaryText(0), "0");
    EXPECT_EQ(ToBinaryText(6), "110");
    EXPECT_EQ(ToBinaryText(INT64_MAX), std::string(63, '1'));
    EXPECT_EQ(PadBinaryText64("110"), std::string(61, '0') + "110");
    const std::string below = PadBinaryText64(ToBinaryText(kTwoTo32 - kSectorSize));
    EXPECT_EQ(BinaryTextToValue(below.substr(0, 32)), 0);
    EXPECT_EQ(BinaryTextToValue(below.substr(32)), 0xFFFFFE00);
    EXPECT_EQ(BinaryTextToValue("1" + std::string(39, '0')), kTwoTo32 / 2)
        << "only the first 32 digits count";
}

// A failing card of 64 sectors whose every byte tells its offset modulo 251.
class FailingCardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ByteSet bytes(64 * kSectorSize);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
        testing::PlaceBytes(image_, 0, bytes);
        ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = image_, .diskNumber = 0}});
    }
    void TearDown() override {
        ClearInjectedFaults();
        UseDiscoveredDriveTable();
    }
    static std::uint8_t ImageByte(std::int64_t offset) { return static_cast<std::uint8_t>(offset % 251); }
    testing::ScratchDir dir_;
    std::string image_ = dir_.File("card.img");
};

TEST_F(FailingCardTest, OnlyTheSectorsTouchingABadRangeAreLostAndCounted) {
    InjectReadFailure(image_, 3 * 512 + 100, 5 * 512 + 7);
    InjectReadFailure(image_, 40 * 512, 40 * 512);
    ReadReport report;
    const ByteSet bytes = ReadVolumeSectors("C", 0, 64, &report);
    ASSERT_EQ(bytes.size(), 64u * 512);
    for (std::int64_t i = 0; i < 64 * 512; ++i) {
        // From the failing byte up to the end of the last sector the range touches, and sector 40.
        const bool lost = (i >= 3 * 512 + 100 && i < 6 * 512) || (i >= 40 * 512 && i < 41 * 512);
        ASSERT_EQ(bytes[static_cast<std::size_t>(i)], lost ? 0 : ImageByte(i)) << "byte " << i;
    }
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.gone);
    EXPECT_EQ(report.unreadableSectors, 4);
    EXPECT_EQ(report.firstUnreadableSector, 3);
    EXPECT_EQ(report.MissingOf(64), 4);
    EXPECT_EQ(report.reason, win32::ErrorOfNumber(EIO).text);
    ReadReport behind;
    ReadVolumeSectors("C", 41, 10, &behind);
    EXPECT_EQ(behind.MissingOf(10), 0) << "a read behind the bad sectors loses nothing";
    EXPECT_TRUE(behind.reason.empty());
}

TEST_F(FailingCardTest, ADriveThatEndsOrGoesAwayIsToldApartFromBadSectors) {
    ReadReport shortened;
    ReadVolumeSectors("C", 60, 10, &shortened);
    EXPECT_EQ(shortened.MissingOf(10), 6) << "six sectors lie beyond the end of the drive";
    EXPECT_EQ(shortened.unreadableSectors, 0);
    EXPECT_FALSE(shortened.gone);

    InjectReadFailure(image_, 20 * 512, 64 * 512, ENXIO);
    ReadReport pulled;
    const ByteSet bytes = ReadVolumeSectors("C", 0, 64, &pulled);
    EXPECT_TRUE(pulled.gone);
    EXPECT_EQ(pulled.deliveredBytes, 20 * 512);
    EXPECT_EQ(pulled.MissingOf(64), 44);
    EXPECT_EQ(bytes[20 * 512 - 1], ImageByte(20 * 512 - 1));
    EXPECT_EQ(bytes[20 * 512], 0);
    ClearInjectedFaults();

    ASSERT_EQ(std::remove(image_.c_str()), 0);
    ReadReport removed;
    ByteSet chunk;
    removed = ReadVolumeChunkInto("C", 0, chunk);
    EXPECT_FALSE(removed.opened);
    EXPECT_TRUE(removed.gone);
    EXPECT_EQ(removed.reason, win32::ErrorOfNumber(ENOENT).text);
    EXPECT_TRUE(chunk.empty());
}

}  // namespace
}  // namespace velkor
