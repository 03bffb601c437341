// Choosing a drive in the drive box: its size comes from the size answer where the
// drive gives one, from the partition tables otherwise.
#include <gtest/gtest.h>

#include <memory>

#include "device/partition_locator.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/window_runtime.h"
#include "tests/support/partition_images.h"

namespace velkor {
namespace {

using testing::BootRecord;
using testing::DiskImage;
using testing::UnsizedLetters;

class DriveSelectionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    void TearDown() override { UseDiscoveredDriveTable(); }
    testing::ScratchDir dir_;
};

TEST_F(DriveSelectionTest, SelectDriveTakesTheSizeOrFallsBackToTheTables) {
    const std::string image = DiskImage(dir_, "a.img", {{0x07, 1000000}, {0x0F, 0}}, {2000000});
    const std::string sized = dir_.File("sized.img");
    testing::PlaceBytes(sized, 0, BootRecord({{0x07, 7}}));
    testing::SizeFile(sized, 777 * kSectorSize + 300);
    std::vector<ArrangedVolume> volumes = UnsizedLetters(image, 0, 'C', 2);
    volumes.push_back({.letter = "H", .source = sized, .diskNumber = 1});
    ArrangeDriveTable({{0, image}, {1, sized}}, volumes);
    const std::unique_ptr<MainForm> form = MakeMainForm(Message("Velkor"), 634, 455);
    DriveBox& box = form->AddDriveBox("驱动器框1", {5, 5, 138, 25}, [] {});
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
