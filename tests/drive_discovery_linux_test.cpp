// What the drive layer finds on a Linux machine: block devices from sysfs, mount
// points, the file modes that keep an image from being offered, and the images a
// host names through the environment beside the machine's own drives.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/drive_discovery.h"
#include "platform/drive_table.h"
#include "platform/image_list.h"
#include "platform/win32_device.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using namespace win32;

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    testing::PlaceBytes(path, 0, BytesOf(text));
}

std::vector<std::string> Summaries(const DriveTable& table) {
    std::vector<std::string> lines;
    for (const ArrangedDisk& disk : table.disks)
        lines.push_back(std::to_string(disk.number) + "=" + disk.source);
    for (const ArrangedVolume& volume : table.volumes) {
        lines.push_back(volume.letter + ":" + volume.source + "@" + std::to_string(volume.diskNumber) + "/" +
                        std::to_string(volume.partitionNumber));
    }
    return lines;
}

TEST(DriveDiscovery, NumbersWholeDisksThenImagesAndLettersTheirPartitions) {
    testing::ScratchDir dir;
    const std::string block = dir.File("block");
    for (const char* name : {"sdb", "loop0", "zram0", "ram0", "sr0", "mmcblk0", "mmcblk0boot0", "nvme0n1"}) {
        fs::create_directories(block + "/" + name);
    }
    for (const char* name : {"loop10", "loop2"}) fs::create_directories(block + "/" + name + "/loop");
    WriteText(block + "/sda/sda10/partition", "10\n");
    WriteText(block + "/sda/sda2/partition", "2\n");
    WriteText(block + "/sda/sda1/partition", "1\n");
    WriteText(block + "/nvme0n1/nvme0n1p1/partition", "1\n");
    const std::string image = dir.File("card.img");
    testing::SizeFile(image, 4096);

    const DriveTable table = DiscoverDriveTable(block, "/dev", {dir.File("missing.img"), image});
    EXPECT_EQ(Summaries(table),
              (std::vector<std::string>{"0=/dev/loop2", "1=/dev/loop10", "2=/dev/mmcblk0", "3=/dev/nvme0n1",
                                        "4=/dev/sda", "5=/dev/sdb", "6=" + image, "C:/dev/loop2@0/0",
                                        "D:/dev/loop10@1/0", "E:/dev/mmcblk0@2/0", "F:/dev/nvme0n1p1@3/1",
                                        "G:/dev/sda1@4/1", "H:/dev/sda2@4/2", "I:/dev/sda10@4/10",
                                        "J:/dev/sdb@5/0", "K:" + image + "@6/0"}));
}

TEST(DriveDiscovery, LettersEndAtZWhileDisksKeepTheirNumbers) {
    testing::ScratchDir dir;
    for (char second = 'a'; second <= 'z'; ++second)
        fs::create_directories(dir.File(std::string("vd") + second));
    for (const char* name : {"vdaa", "vdab"}) fs::create_directories(dir.File(name));
    const DriveTable table = DiscoverDriveTable(dir.Path(), "/dev", {});
    ASSERT_EQ(table.disks.size(), 28u);
    ASSERT_EQ(table.volumes.size(), 24u);
    EXPECT_EQ(table.volumes.back().letter, "Z");
    EXPECT_TRUE(DiscoverDriveTable(dir.File("absent"), "/dev", {}).disks.empty());
}

TEST(DriveDiscovery, MountInfoParsing) {
    const std::string mountinfo =
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 27 8:10 /sub /mnt/ten rw - ext4 /dev/sda10 rw\n"
        "41 27 8:1 / /media/my\\040card\\134x rw - vfat /dev/sda1 rw\n";
    EXPECT_EQ(MountPointOf(mountinfo, 8, 1), "/media/my card\\x");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 10), "/mnt/ten");
    EXPECT_EQ(MountPointOf(mountinfo, 254, 0), "/");
    EXPECT_EQ(MountPointOf(mountinfo, 8, 2), "");
}

// Returns ImageUnusableReason(path) as a user without root's privileges meets it:
// root reads files whatever their mode, so then a child process drops to nobody first.
std::string ReasonForOrdinaryUser(const std::string& path) {
    if (geteuid() != 0) return ImageUnusableReason(path);
    int ends[2];
    if (pipe(ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        const std::string reason = dropped ? ImageUnusableReason(path) : "root could not be dropped";
        const ssize_t written = write(ends[1], reason.data(), reason.size());
        _exit(written == static_cast<ssize_t>(reason.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string reason;
    char block[256];
    for (ssize_t got; (got = read(ends[0], block, sizeof block)) > 0;)
        reason.append(block, static_cast<std::size_t>(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return reason;
}

TEST(ImageList, TellsWhyAFileCannotBeOffered) {
    testing::ScratchDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0) << "an ordinary user may look inside";
    const std::string image = dir.File("card.img");
    testing::SizeFile(image, 512);
    const std::string locked = dir.File("locked.img");
    testing::SizeFile(locked, 512);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    const std::string empty = dir.File("empty.img");
    testing::SizeFile(empty, 0);
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);

    EXPECT_EQ(ImageUnusableReason(image), "");
    EXPECT_EQ(ImageUnusableReason(dir.File("missing.img")), std::strerror(ENOENT));
    EXPECT_EQ(ImageUnusableReason(dir.Path()), "is a directory, not an image file");
    EXPECT_EQ(ImageUnusableReason(fifo), "is not a regular file, so not an image file")
        << "and opening it did not hang";
    EXPECT_EQ(ImageUnusableReason(empty), "is empty");
    EXPECT_EQ(ImageUnusableReason("card.img"), "is not an absolute path");
    EXPECT_EQ(ReasonForOrdinaryUser(locked), std::strerror(EACCES));
    EXPECT_EQ(ReasonForOrdinaryUser(image), "");
}

// The block device under /dev that holds the file system of "/"; empty when there is none.
std::string RootBlockDevice() {
    struct stat root {};
    if (stat("/", &root) != 0) return {};
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev")) {
        struct stat info {};
        if (stat(entry.path().c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == root.st_dev) {
            return entry.path().string();
        }
    }
    return {};
}

TEST(MountedDevices, AMountedBlockDeviceReportsItsFileSystemSize) {
    const std::string device = RootBlockDevice();
    if (device.empty()) GTEST_SKIP() << "the root file system is not on a block device here";
    ArrangeDriveTable({}, {{.letter = "C", .source = device}});
    struct statvfs space {};
    ASSERT_EQ(statvfs("/", &space), 0);
    ULONGLONG total = 0;
    EXPECT_EQ(GetDiskFreeSpaceExA("C:", nullptr, &total, nullptr), 1);
    EXPECT_EQ(total, static_cast<ULONGLONG>(space.f_blocks) * space.f_frsize);
    UseDiscoveredDriveTable();
}

TEST(DiscoveredTable, ImagesNamedByTheHostFollowTheMachinesDrives) {
    testing::ScratchDir dir;
    const std::string first = dir.File("first.img");
    const std::string second = dir.File("second.img");
    testing::SizeFile(first, 3 * 1024 * 1024);
    testing::PlaceBytes(second, 0, BytesOf("second"));
    setenv("VELKOR_IMAGES", (first + "\n" + second + "\n").c_str(), 1);
    UseDiscoveredDriveTable();
    const std::vector<VolumeInfo> volumes = ListVolumes();
    unsetenv("VELKOR_IMAGES");
    if (volumes.size() < 2 || volumes.back().source != second) GTEST_SKIP() << "no letters left for images";
    const VolumeInfo& a = volumes[volumes.size() - 2];
    const VolumeInfo& b = volumes.back();
    EXPECT_EQ(a.description, "first.img  (3.0 MiB)");
    EXPECT_EQ(b.letter[0], a.letter[0] + 1);
    EXPECT_EQ(b.diskNumber, a.diskNumber + 1);
    const HANDLE handle =
        CreateFileA(("\\\\.\\" + b.letter + ":").c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    char text[6] = {};
    DWORD read = 0;
    EXPECT_EQ(ReadFile(handle, text, sizeof text, &read, nullptr), 1);
    EXPECT_EQ(std::string(text, read), "second");
    EXPECT_EQ(CloseHandle(handle), 1);
}

// A card reader unplugged and another plugged in: a letter listed once keeps
// meaning its own device, so a scan never reads another card under it.
TEST(DiscoveredTable, ALetterStaysWithItsDeviceAsDrivesComeAndGo) {
    testing::ScratchDir dir;
    const std::string a = dir.File("a.img");
    const std::string b = dir.File("b.img");
    const std::string c = dir.File("c.img");
    for (const std::string& image : {a, b, c}) testing::SizeFile(image, 1024 * 1024);
    const auto letterOf = [](const std::vector<VolumeInfo>& volumes, const std::string& source) {
        for (const VolumeInfo& volume : volumes) {
            if (volume.source == source) return volume.letter;
        }
        return std::string();
    };
    UseDiscoveredDriveTable();
    setenv("VELKOR_IMAGES", (a + "\n" + b + "\n").c_str(), 1);
    const std::vector<VolumeInfo> first = ListVolumes();
    const std::string letterA = letterOf(first, a);
    const std::string letterB = letterOf(first, b);
    if (letterA.empty() || letterB.empty()) GTEST_SKIP() << "no letters left for images";
    setenv("VELKOR_IMAGES", (b + "\n" + c + "\n").c_str(), 1);
    const std::vector<VolumeInfo> second = ListVolumes();
    EXPECT_EQ(letterOf(second, b), letterB) << "b keeps its letter when a goes";
    const std::string letterC = letterOf(second, c);
    EXPECT_NE(letterC, letterA) << "a's letter is not handed to another device";
    EXPECT_FALSE(CurrentVolume(letterA).has_value());
    if (!letterC.empty()) {
        EXPECT_GT(letterC, letterB) << "a new device takes the next letter never used";
    }
    // The same name now holding another file is another device.
    ASSERT_EQ(std::remove(b.c_str()), 0);
    testing::SizeFile(b, 1024 * 1024);
    const std::vector<VolumeInfo> third = ListVolumes();
    unsetenv("VELKOR_IMAGES");
    EXPECT_NE(letterOf(third, b), letterB);
    EXPECT_FALSE(CurrentVolume(letterB).has_value());
    UseDiscoveredDriveTable();
}

// Images named by a host through the environment, as the launchers name them.
class NamedImages : public ::testing::Test {
  protected:
    void TearDown() override {
        unsetenv(kImagesVariable);
        unsetenv(kExtraImagesVariable);
        UseDiscoveredDriveTable();
    }
    static void Name(const std::vector<std::string>& images, const std::vector<std::string>& extras = {}) {
        setenv(kImagesVariable, EncodeImageList(images).c_str(), 1);
        setenv(kExtraImagesVariable, EncodeImageList(extras).c_str(), 1);
        UseDiscoveredDriveTable();
    }
    // The letter under which source is listed; empty when it is not.
    static std::string LetterOf(const std::string& source) {
        for (const VolumeInfo& volume : ListVolumes()) {
            if (volume.source == source) return volume.letter;
        }
        return {};
    }
    std::vector<std::string> ListedHere() const {
        std::vector<std::string> sources;
        for (const VolumeInfo& volume : ListVolumes()) {
            if (volume.source.rfind(dir_.Path(), 0) == 0) sources.push_back(volume.source);
        }
        return sources;
    }
    testing::ScratchDir dir_;
};

TEST_F(NamedImages, ThoseThatCannotBeOfferedAreToldWithTheirReasonAndNotListed) {
    const std::string good = dir_.File("good.img");
    testing::SizeFile(good, 4096);
    const std::string missing = dir_.File("missing\n\xFF.img");
    const std::string folder = dir_.File("folder");
    fs::create_directory(folder);
    const std::string empty = dir_.File("empty.img");
    testing::SizeFile(empty, 0);
    Name({missing, folder, good}, {empty, good});

    const std::vector<std::string> listed = ListedHere();
    const std::vector<std::string> reasons = ImagesNotOffered();
    if (listed.empty()) GTEST_SKIP() << "no letters left for images";
    EXPECT_EQ(listed, std::vector<std::string>{good}) << "each file once, however often it is named";
    EXPECT_EQ(reasons, (std::vector<std::string>{
                           dir_.Path() + "/missing\\n\\xFF.img: No such file or directory",
                           folder + ": is a directory, not an image file", empty + ": is empty"}));
    testing::SizeFile(empty, 512);
    ListVolumes();
    EXPECT_EQ(ImagesNotOffered().size(), 2u) << "each discovery tells the images as they are then";
    ArrangeDriveTable({}, {{.letter = "C", .source = good}});
    EXPECT_TRUE(ImagesNotOffered().empty()) << "an arranged table names no images";
}

TEST_F(NamedImages, TheFirstOneOfferedIsTheOneToSelectAndAnyPathWorks) {
    const std::string odd = dir_.File("card\n\xFF%41.img");
    const std::string other = dir_.File("other.img");
    const std::string extra = dir_.File("extra.img");
    for (const std::string& image : {odd, other, extra}) testing::SizeFile(image, 4096);
    Name({dir_.File("missing.img"), odd, other}, {extra});
    const std::string letter = LetterOf(odd);
    if (letter.empty()) GTEST_SKIP() << "no letters left for images";
    EXPECT_EQ(LetterOfFirstImage(), letter) << "a missing first image hands the selection to the next";
    const std::optional<ArrangedVolume> volume = FindVolume(letter);
    ASSERT_TRUE(volume.has_value());
    EXPECT_EQ(volume->source, odd);
    EXPECT_EQ(CurrentVolume(letter)->description, "card\\n\\xFF%41.img  (4.0 KiB)");
    const HANDLE handle =
        CreateFileA(("\\\\.\\" + letter + ":").c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "the drive reads the file the odd path names";
    CloseHandle(handle);

    Name({}, {extra});
    EXPECT_FALSE(LetterOf(extra).empty());
    EXPECT_EQ(LetterOfFirstImage(), std::nullopt) << "an extra image is never selected at start";
    Name({odd});
    ArrangeDriveTable({}, {{.letter = "C", .source = odd}});
    EXPECT_EQ(LetterOfFirstImage(), std::nullopt) << "an arranged table names no images";
}

}  // namespace
}  // namespace velkor
