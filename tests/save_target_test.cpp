// Whether a directory lies on the drive being recovered, once partitions, stacked
// devices, loop files and mounts without a block device are seen through.
#include "platform/save_target.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/device_stack.h"
#include "platform/drive_table.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Ext4Mount;
using testing::LoopDevice;
using testing::ScratchDir;

// Block majors end at 511, so no real device number is ever taken for a fake one.
constexpr unsigned kFakeMajor = 4001;

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string NumberText(std::uint64_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// mountinfo writes these characters of a path or option value as \ooo.
std::string Escaped(const std::string& text) {
    static const std::map<char, std::string> kEscapes = {{' ', "\\040"}, {',', "\\054"}, {'\\', "\\134"}};
    std::string escaped;
    for (const char c : text) {
        const auto escape = kEscapes.find(c);
        escaped += escape == kEscapes.end() ? std::string(1, c) : escape->second;
    }
    return escaped;
}

// A sysfs tree in a scratch directory laid out as the kernel's: each device's directory
// under devices/ (a partition's inside its disk's), linked from dev/block/M:m and class/block/<name>.
class FakeSysfs {
  public:
    FakeSysfs() {
        fs::create_directories(fs::path(Root()) / "dev/block");
        fs::create_directories(fs::path(Root()) / "class/block");
    }

    const std::string& Root() const { return root_.Path(); }

    // Adds a whole disk, device-mapper, md or loop device; returns its number.
    std::uint64_t Device(const std::string& name) {
        return Add(name, fs::path(Root()) / "devices/virtual/block" / name);
    }

    // Adds partition number of disk; returns its number.
    std::uint64_t Partition(const std::string& disk, const std::string& name, int number) {
        const std::uint64_t device = Add(name, dirs_.at(disk) / name);
        WriteText(dirs_.at(name) / "partition", std::to_string(number) + "\n");
        return device;
    }

    // Makes the device named lower one of those upper is built on.
    void Stack(const std::string& upper, const std::string& lower) {
        fs::create_directory_symlink(dirs_.at(lower), dirs_.at(upper) / "slaves" / lower);
    }

    // Makes loop device name read backingFile, written as the kernel writes it.
    void SetBackingFile(const std::string& name, const std::string& backingFile) {
        WriteText(dirs_.at(name) / "loop/backing_file", backingFile + "\n");
    }

    // Makes device number (a real file system's st_dev) stand for the device named name.
    void MapNumber(std::uint64_t device, const std::string& name) {
        fs::create_directory_symlink(dirs_.at(name), fs::path(Root()) / "dev/block" / NumberText(device));
    }

    // Lists the named devices as those one btrfs spans.
    void BtrfsSpans(const std::string& uuid, const std::vector<std::string>& names) {
        const fs::path devices = fs::path(Root()) / "fs/btrfs" / uuid / "devices";
        fs::create_directories(devices);
        for (const std::string& name : names) fs::create_directory_symlink(dirs_.at(name), devices / name);
    }

    // Returns the number of the device named name.
    std::uint64_t Number(const std::string& name) const { return numbers_.at(name); }

  private:
    std::uint64_t Add(const std::string& name, const fs::path& dir) {
        const std::uint64_t device = makedev(kFakeMajor, nextMinor_++);
        fs::create_directories(dir / "slaves");
        WriteText(dir / "dev", NumberText(device) + "\n");
        dirs_[name] = dir;
        numbers_[name] = device;
        MapNumber(device, name);
        fs::create_directory_symlink(dir, fs::path(Root()) / "class/block" / name);
        return device;
    }

    ScratchDir root_;
    std::map<std::string, fs::path> dirs_;
    std::map<std::string, std::uint64_t> numbers_;
    unsigned nextMinor_ = 0;
};

// Disks sdb (sdb1, sdb2), sdc (sdc1), sdd and sde (sde1, holding "/"), with real
// directories in a scratch directory whose own device number sysfs does not know
// until a test maps it, so the mounts the test lists decide where its paths lie.
class DeviceStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* disk : {"sdb", "sdc", "sdd", "sde"}) sys_.Device(disk);
        sys_.Partition("sdb", "sdb1", 1);
        sys_.Partition("sdb", "sdb2", 2);
        sys_.Partition("sdc", "sdc1", 1);
        sys_.Partition("sde", "sde1", 1);
        Mount("/", "ext4", "/dev/sde1");
    }

    // Returns a new real directory under the scratch files, links resolved.
    std::string Dir(const std::string& relative) {
        fs::create_directories(files_.File(relative));
        return fs::canonical(files_.File(relative)).string();
    }

    // Returns a new real file under the scratch files, links resolved.
    std::string File(const std::string& relative) {
        WriteText(files_.File(relative), "bytes");
        return fs::canonical(files_.File(relative)).string();
    }

    // Lists a mount of source on point in the mountinfo text.
    void Mount(const std::string& point, const std::string& type, const std::string& source,
               const std::string& options = "rw") {
        const int id = 30 + mountCount_++;
        mountinfo_ += std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + Escaped(point) +
                      " rw,relatime shared:1 - " + type + " " + Escaped(source) + " " + options + "\n";
    }

    // The device number of the real file system the scratch files are on.
    std::uint64_t FilesDevice() const {
        struct stat info {};
        EXPECT_EQ(stat(files_.Path().c_str(), &info), 0);
        return info.st_dev;
    }

    bool Reaches(const std::string& directory, const std::string& source) const {
        return DeviceStackReaches(sys_.Root(), mountinfo_, directory, sys_.Number(source));
    }

    FakeSysfs sys_;
    ScratchDir files_;
    std::string mountinfo_;
    int mountCount_ = 0;
};

TEST_F(DeviceStackTest, PartitionsOfOneDiskReachEachOtherAndNoOtherDisk) {
    sys_.MapNumber(FilesDevice(), "sdb1");
    const std::string photos = Dir("photos");
    EXPECT_TRUE(Reaches(photos, "sdb1"));
    EXPECT_TRUE(Reaches(photos, "sdb2"));
    EXPECT_TRUE(Reaches(photos, "sdb"));
    EXPECT_FALSE(Reaches(photos, "sdc1"));
    EXPECT_FALSE(Reaches(photos, "sdc"));
    EXPECT_FALSE(Reaches(photos, "sde1")) << "a device number sysfs knows is not looked up in the mounts";
    EXPECT_FALSE(DeviceStackReaches(sys_.Root(), mountinfo_, photos, makedev(kFakeMajor, 999)))
        << "a source sysfs does not know";
    EXPECT_FALSE(Reaches(files_.File("absent"), "sdb"));
}

TEST_F(DeviceStackTest, DeviceMapperReachesTheDiskOfThePartitionItIsBuiltOn) {
    sys_.Device("dm-0");
    sys_.Device("dm-1");
    sys_.Stack("dm-1", "dm-0");  // LUKS on an LVM volume
    sys_.Stack("dm-0", "sdb2");
    sys_.MapNumber(FilesDevice(), "dm-1");
    const std::string photos = Dir("photos");
    EXPECT_TRUE(Reaches(photos, "sdb1")) << "another partition of the disk beneath";
    EXPECT_TRUE(Reaches(photos, "dm-0"));
    EXPECT_FALSE(Reaches(photos, "sdc1"));
}

TEST_F(DeviceStackTest, APartitionOfARaidReachesEveryMemberDisk) {
    sys_.Device("md0");
    sys_.Partition("md0", "md0p1", 1);
    sys_.Stack("md0", "sdc1");
    sys_.Stack("md0", "sdd");
    sys_.MapNumber(FilesDevice(), "md0p1");
    const std::string photos = Dir("photos");
    EXPECT_TRUE(Reaches(photos, "sdc"));
    EXPECT_TRUE(Reaches(photos, "sdd"));
    EXPECT_TRUE(Reaches(photos, "md0"));
    EXPECT_FALSE(Reaches(photos, "sdb"));
}

TEST_F(DeviceStackTest, ALoopDeviceReachesTheDiskHoldingItsBackingFile) {
    Mount(Dir("host"), "ext4", "/dev/sdb1");
    sys_.Device("loop0");
    sys_.SetBackingFile("loop0", File("host/disk.img"));
    Mount(Dir("mnt"), "ext4", "/dev/loop0");
    const std::string photos = Dir("mnt/photos");
    EXPECT_TRUE(Reaches(photos, "sdb2"));
    EXPECT_TRUE(Reaches(photos, "loop0"));
    EXPECT_FALSE(Reaches(photos, "sdc1"));
    EXPECT_FALSE(Reaches(photos, "sde")) << "the mount of the directory decides, not the root's";

    sys_.SetBackingFile("loop0", Dir("host") + "/gone.img (deleted)");
    EXPECT_TRUE(Reaches(photos, "sdb2")) << "a deleted backing file keeps its blocks where it was";
}

TEST_F(DeviceStackTest, DeviceMapperOverALoopFileReachesTheDiskHoldingTheFile) {
    Mount(Dir("host"), "ext4", "/dev/sdc1");
    sys_.Device("loop1");
    sys_.SetBackingFile("loop1", File("host/volume group.img"));
    sys_.Device("dm-1");
    sys_.Stack("dm-1", "loop1");
    Mount(Dir("mnt"), "xfs", "/dev/dm-1");
    const std::string photos = Dir("mnt/photos");
    EXPECT_TRUE(Reaches(photos, "sdc"));
    EXPECT_TRUE(Reaches(photos, "loop1"));
    EXPECT_FALSE(Reaches(photos, "sdb"));
}

TEST_F(DeviceStackTest, ACycleOfDevicesEndsWithoutReachingAnythingElse) {
    sys_.Device("dm-2");
    sys_.Device("dm-3");
    sys_.Stack("dm-2", "dm-3");
    sys_.Stack("dm-3", "dm-2");
    sys_.MapNumber(FilesDevice(), "dm-2");
    const std::string photos = Dir("photos");
    EXPECT_TRUE(Reaches(photos, "dm-3"));
    EXPECT_FALSE(Reaches(photos, "sdb"));
}

TEST_F(DeviceStackTest, CyclesThroughMountsEndWithoutReachingAnythingElse) {
    const std::string loopFs = Dir("loopfs");
    Mount(loopFs, "ext4", "/dev/loop2");
    sys_.Device("loop2");
    sys_.SetBackingFile("loop2", File("loopfs/itself.img"));
    EXPECT_TRUE(Reaches(loopFs, "loop2"));
    EXPECT_FALSE(Reaches(loopFs, "sde"));

    const std::string merged = Dir("merged");
    Mount(merged, "overlay", "overlay", "rw,upperdir=" + Escaped(Dir("merged/upper")));
    EXPECT_FALSE(Reaches(merged, "sde"));
}

TEST_F(DeviceStackTest, BtrfsIsFoundThroughTheLongestMountPointHoldingTheDirectory) {
    const std::string volume = Dir("volume");
    Mount(volume, "btrfs", "/dev/sdb2");
    Mount(fs::canonical(files_.Path()).string(), "ext4",
          "/dev/sdc1");  // listed later, yet volume lies deeper
    const std::string photos = Dir("volume/subvolume/photos");
    EXPECT_TRUE(Reaches(photos, "sdb"));
    EXPECT_FALSE(Reaches(photos, "sdc"));
    EXPECT_FALSE(Reaches(photos, "sde"));
    EXPECT_TRUE(Reaches(Dir("volume-old"), "sdc")) << "a sibling whose name volume's begins";
    EXPECT_FALSE(Reaches(Dir("volume-old"), "sdb"));

    const std::string covered = Dir("covered");
    Mount(covered, "ext4", "/dev/sdc1");
    Mount(covered, "btrfs", "/dev/sdd");
    EXPECT_TRUE(Reaches(covered, "sdd")) << "the later mount on a point covers the earlier";
    EXPECT_FALSE(Reaches(covered, "sdc"));
}

TEST_F(DeviceStackTest, BtrfsReachesEveryDeviceItSpans) {
    sys_.BtrfsSpans("5f0c2e4a-1b7d-4c3e-9a61-0d2f8b7e6c15", {"sdb2", "sdc1"});
    sys_.BtrfsSpans("a0e0c6d4-2f2b-4f40-8d7e-3b9a51c0e7f2", {"sdd"});
    Mount(Dir("pool"), "btrfs", "/dev/sdb2");
    const std::string photos = Dir("pool/photos");
    EXPECT_TRUE(Reaches(photos, "sdc")) << "mountinfo names only sdb2";
    EXPECT_FALSE(Reaches(photos, "sdd"));
}

TEST_F(DeviceStackTest, OverlayWritesReachOnlyTheUpperLayer) {
    const std::string upper = Dir("up per,dir");
    const std::string lower = Dir("lower");
    Mount(upper, "ext4", "/dev/sdb1");
    Mount(lower, "ext4", "/dev/sdc1");
    Mount(
        Dir("merged"), "overlay", "overlay",
        "rw,lowerdir=" + Escaped(lower) + ",upperdir=" + Escaped(upper) + ",workdir=" + Escaped(Dir("work")));
    const std::string photos = Dir("merged/photos");
    EXPECT_TRUE(Reaches(photos, "sdb"));
    EXPECT_FALSE(Reaches(photos, "sdc"));
    EXPECT_FALSE(Reaches(photos, "sde"));

    Mount(Dir("readonly"), "overlay", "overlay", "ro,lowerdir=" + Escaped(lower));
    EXPECT_FALSE(Reaches(Dir("readonly/photos"), "sdc")) << "nothing is written to a lower layer";
}

TEST_F(DeviceStackTest, VirtualFileSystemsLieOnNoDisk) {
    Mount(Dir("ram"), "tmpfs", "tmpfs", "rw,size=65536k");
    Mount(Dir("remote"), "nfs4", "server:/export", "rw,vers=4.2");
    EXPECT_FALSE(Reaches(Dir("ram/photos"), "sde"));
    EXPECT_FALSE(Reaches(Dir("remote/photos"), "sde"));
}

TEST_F(DeviceStackTest, AStackedSourceIsReachedFromItsPartitionsNotFromBesideItsBackingFile) {
    const std::string host = Dir("host");
    Mount(host, "ext4", "/dev/sdb1");
    sys_.Device("loop3");
    sys_.Partition("loop3", "loop3p1", 1);
    sys_.SetBackingFile("loop3", File("host/card.img"));
    Mount(Dir("card"), "vfat", "/dev/loop3p1");
    const std::string onCard = Dir("card/DCIM");
    EXPECT_TRUE(Reaches(onCard, "loop3"));
    EXPECT_TRUE(Reaches(onCard, "loop3p1"));
    EXPECT_TRUE(Reaches(host, "sdb"));
    EXPECT_FALSE(Reaches(host, "loop3")) << "writing beside a file never overwrites its blocks";
    EXPECT_FALSE(Reaches(host, "loop3p1"));
}

TEST(DirectoryLiesOnDrive, AnImageFileSourceLiesUnderNoDirectory) {
    ScratchDir media;
    testing::SizeFile(media.File("card.img"), 1 << 20);
    ArrangeDriveTable({{0, media.File("card.img")}},
                      {{.letter = "C", .source = media.File("card.img"), .diskNumber = 0}});
    EXPECT_FALSE(DirectoryLiesOnDrive(media.Path(), "C"));
    EXPECT_FALSE(DirectoryLiesOnDrive(media.Path(), "D")) << "a letter the table does not have";
    UseDiscoveredDriveTable();
}

class DirectoryLiesOnDriveOnThisMachine : public ::testing::Test {
  protected:
    void TearDown() override { UseDiscoveredDriveTable(); }
};

TEST_F(DirectoryLiesOnDriveOnThisMachine, SeesThroughALoopFileKeptOnAnotherLoopDevice) {
    if (geteuid() != 0) GTEST_SKIP() << "attaching loop devices and mounting need root";
    ScratchDir scratch;
    testing::SizeFile(scratch.File("outer.img"), std::int64_t{64} << 20);
    const LoopDevice outer(scratch.File("outer.img"));
    if (outer.Path().empty()) GTEST_SKIP() << "losetup cannot attach here: " << outer.Error();
    const Ext4Mount outerFs(outer.Path(), scratch.File("outer"));
    if (!outerFs.Mounted())
        GTEST_SKIP() << "cannot put a file system on a loop device here: " << outerFs.Error();
    testing::SizeFile(scratch.File("outer/inner.img"), std::int64_t{16} << 20);
    const LoopDevice inner(scratch.File("outer/inner.img"));
    ASSERT_FALSE(inner.Path().empty()) << inner.Error();
    const Ext4Mount innerFs(inner.Path(), scratch.File("inner"));
    ASSERT_TRUE(innerFs.Mounted()) << innerFs.Error();
    fs::create_directory(scratch.File("inner/photos"));
    ArrangeDriveTable({{0, outer.Path()}, {1, inner.Path()}},
                      {{.letter = "C", .source = outer.Path(), .diskNumber = 0},
                       {.letter = "D", .source = inner.Path(), .diskNumber = 1}});

    EXPECT_TRUE(DirectoryLiesOnDrive(scratch.File("outer"), "C"));
    EXPECT_TRUE(DirectoryLiesOnDrive(scratch.File("inner/photos"), "D"));
    EXPECT_TRUE(DirectoryLiesOnDrive(scratch.File("inner/photos"), "C")) << "through inner's backing file";
    EXPECT_FALSE(DirectoryLiesOnDrive(scratch.File("outer"), "D")) << "beside inner's backing file";
    EXPECT_FALSE(DirectoryLiesOnDrive(scratch.Path(), "C"));
}

}  // namespace
}  // namespace velkor
