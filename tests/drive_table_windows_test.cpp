// What the drive table finds on Windows: the system's own drive letters stay the
// system's, and an image a host names takes a letter no drive of the machine has.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "platform/image_list.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

TEST(WindowsDrives, ANamedImageTakesALetterTheSystemDoesNotUseAndReadsAsItself) {
    testing::ScratchDir dir;
    const std::string image = dir.File("card.img");
    testing::PlaceBytes(image, 0, BytesOf("camera card"));
    testing::SizeFile(image, 1 << 20);
    ASSERT_EQ(_putenv_s(kImagesVariable, EncodeImageList({image}).c_str()), 0);
    UseDiscoveredDriveTable();
    const std::vector<VolumeInfo> volumes = ListVolumes();
    const std::optional<std::string> letter = LetterOfFirstImage();
    // Windows keeps no empty variables: this removes it.
    _putenv_s(kImagesVariable, "");
    ASSERT_TRUE(letter.has_value());

    const DWORD systemDrives = ::GetLogicalDrives();
    ASSERT_NE(systemDrives, 0u);
    EXPECT_EQ(systemDrives & (DWORD{1} << ((*letter)[0] - 'A')), 0u) << *letter << ": is a drive of the system";
    for (const VolumeInfo& volume : volumes) {
        const bool system = (systemDrives & (DWORD{1} << (volume.letter[0] - 'A'))) != 0;
        if (system) {
            EXPECT_EQ(volume.source, "\\\\.\\" + volume.letter + ":") << "a system drive keeps its own letter";
        }
    }

    const ByteSet first = ReadVolumeSectors(*letter, 0, 1);
    ASSERT_EQ(first.size(), 512u);
    EXPECT_EQ(std::string(first.begin(), first.begin() + 11), "camera card");
    UseDiscoveredDriveTable();
}

}  // namespace
}  // namespace velkor
