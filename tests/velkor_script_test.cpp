// velkor.sh's choice of the demo card: whether any of the machine's disks can really be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// A made-up /sys/block and /dev: each disk is listed in the one and stands for
// whatever is at its name in the other.
class MachineDisks : public ::testing::Test {
  protected:
    void List(const std::string& name) { fs::create_directories(dir_.File("block/" + name)); }
    // A disk whose device reads bytes bytes.
    void ListReadable(const std::string& name, std::int64_t bytes) {
        List(name);
        testing::SizeFile(Device(name), bytes);
    }
    std::string Device(const std::string& name) const { return dir_.File("dev/" + name); }
    // Returns what velkor.sh's some_drive_readable says of these disks: "readable" or "none".
    std::string Verdict() const {
        const testing::CommandResult run = testing::RunCommand(
            "bash -c 'source \"$1\"; if some_drive_readable \"$2\" \"$3\"; then echo readable; else echo "
            "none; fi' velkor-test '" +
            std::string(VELKOR_SOURCE_DIR) + "/velkor.sh' '" + dir_.File("block") + "' '" + dir_.File("dev") +
            "'");
        return run.status == 0 ? run.output : "failed: " + run.output;
    }
    testing::ScratchDir dir_;
};

TEST_F(MachineDisks, OnlyADiskWhoseFirstSectorReadsCounts) {
    fs::create_directories(dir_.File("dev"));
    List("vda");  // listed, but no device node, as in a container
    List("sda");
    fs::create_directory(Device("sda"));  // opening fails even for root, whom `[ -r ]` would let through
    ListReadable("sdb", 0);               // a card reader without a card
    for (const char* name : {"loop0", "zram0", "mmcblk0boot0", "sr0"}) ListReadable(name, 512);
    EXPECT_EQ(Verdict(), "none\n")
        << "loop devices, RAM disks, firmware areas and CD drives are not the machine's disks";

    ListReadable("nvme0n1", 4096);
    EXPECT_EQ(Verdict(), "readable\n");
}

}  // namespace
}  // namespace velkor
