// What only Linux can show of the raw reader: that no operation opens the image for
// writing (inotify sees every close) and that no descriptor is left open.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>

#include "device/partition_locator.h"
#include "device/raw_reader.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/unique_fd.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

int OpenDescriptorCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}


// Root may open a 0444 file for writing, so the watch, not the mode, proves that
// nothing opened the image for writing: any such open ends in IN_CLOSE_WRITE.
TEST(ReadOnlySources, NoOperationOpensTheImageForWriting) {
    testing::ScratchDir dir;
    const std::string image = dir.File("card.img");
    ByteSet mbr(kSectorSize, 0);
    mbr[450] = 0x07;
    mbr[458] = 0x10;
    testing::PlaceBytes(image, 0, mbr);
    testing::SizeFile(image, 4 * 1024 * 1024);
    ASSERT_EQ(chmod(image.c_str(), 0444), 0);
    const std::string before = testing::FileFingerprint(image);
    ArrangeDriveTable({{0, image}},
                      {{.letter = "C", .source = image, .diskNumber = 0, .sizeQueryFails = true}});
    UniqueFd watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(inotify_add_watch(watch.get(), image.c_str(), IN_ALL_EVENTS), 0);
    const int descriptorsBefore = OpenDescriptorCount();

    EXPECT_EQ(ReadVolumeChunk("C", 0).size(), static_cast<std::size_t>(kChunkBytes));
    EXPECT_EQ(ReadVolumeSectors("C", 1, 3).size(), static_cast<std::size_t>(3 * kSectorSize));
    EXPECT_EQ(ReadDiskSector(0, 0).size(), static_cast<std::size_t>(kSectorSize));
    EXPECT_EQ(GetVolumeTotalBytes("C"), 0);
    EXPECT_EQ(GetVolumeDiskNumber("C"), 0);
    EXPECT_EQ(VolumeOrdinalOnDisk("C"), 1);
    EXPECT_EQ(LocatePartitionSectors("C"), 16);
    SelectDriveLetter("C");
    EXPECT_EQ(TheScanState().DeviceSectors, 16);

    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a handle was left open";
    const std::uint32_t seen = testing::SeenInotifyEvents(watch.get());
    EXPECT_NE(seen & IN_CLOSE_NOWRITE, 0u) << "the image was never opened, so the check proves nothing";
    EXPECT_EQ(seen & (IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB), 0u);
    EXPECT_EQ(testing::FileFingerprint(image), before);
    UseDiscoveredDriveTable();
}

}  // namespace
}  // namespace velkor
