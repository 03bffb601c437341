// The drive layer over image files: the image lists, the Win32-shaped device calls
// and the faults a failing card shows; the same on every system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/device_source.h"
#include "platform/drive_table.h"
#include "platform/image_list.h"
#include "platform/win32_device.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

using namespace win32;

TEST(ImageList, AnyPathButNulSurvivesTheListByteForByte) {
    std::string everyByte = "/";
    for (int byte = 1; byte < 256; ++byte) everyByte += static_cast<char>(byte);
    const std::vector<std::string> paths = {"/media/card\n\xFF.img", "/100%41/%/x%", "/cr\r",
                                            "/照片/卡.img",          everyByte,      "/plain.img"};
    const std::string list = EncodeImageList(paths);
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 6) << "one line per path, whatever it holds";
    EXPECT_TRUE(std::none_of(list.begin(), list.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || c == '\r';
    })) << "the list is ASCII, so no locale and no line-end conversion can change it";
    EXPECT_EQ(DecodeImageList(list), paths);
}

TEST(ImageList, PlainPathsPerLineReadAsThemselves) {
    EXPECT_EQ(DecodeImageList("/a.img\r\n\n/b c.img\n/100%/x%zz.img"),
              (std::vector<std::string>{"/a.img", "/b c.img", "/100%/x%zz.img"}));
    EXPECT_EQ(DecodeImageList("/last-without-line-end.img"),
              std::vector<std::string>{"/last-without-line-end.img"});
    EXPECT_TRUE(DecodeImageList("").empty());
}

TEST(ImageList, PrintablePathsAreUtf8WithControlsAndStrayBytesEscaped) {
    EXPECT_EQ(PrintablePath("/卡/a\n\tb\r\x7f.img"), "/卡/a\\n\\tb\\r\\x7F.img");
    EXPECT_EQ(PrintablePath("/\xFF\xC0\xAF.img"), "/\\xFF\\xC0\\xAF.img")
        << "a stray byte and an overlong '/'";
    EXPECT_EQ(PrintablePath("/\xED\xA0\x80"), "/\\xED\\xA0\\x80") << "a surrogate is not UTF-8";
    EXPECT_EQ(PrintablePath("/\xE5\x8D"), "/\\xE5\\x8D") << "a character cut short";
    EXPECT_EQ(PrintablePath("/\xF0\x9F\x93\xB7 photo"), "/\xF0\x9F\x93\xB7 photo");
}

// An image of 8 KiB whose every byte tells its offset modulo 251.
class DeviceCallsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ByteSet bytes(8192);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
        testing::PlaceBytes(image_, 0, bytes);
        ArrangeDriveTable({{2, image_}}, {{.letter = "C", .source = image_, .diskNumber = 2},
                                          {.letter = "D",
                                           .source = image_,
                                           .offsetBytes = 512,
                                           .sizeBytes = 1000,
                                           .diskNumber = 2,
                                           .partitionNumber = 1},
                                          {.letter = "E", .source = image_, .sizeQueryFails = true},
                                          {.letter = "F", .source = dir_.File("gone.img")}});
    }
    void TearDown() override { UseDiscoveredDriveTable(); }
    static HANDLE Open(const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    testing::ScratchDir dir_;
    std::string image_ = dir_.File("disk.img");
};

TEST_F(DeviceCallsTest, OnlyWellFormedPathsOfArrangedDrivesOpenAndCloseOnce) {
    for (const char* path : {"\\\\.\\C:", "\\\\.\\c:", "\\\\.\\PhysicalDrive2"}) {
        const HANDLE handle = Open(path);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
        EXPECT_EQ(CloseHandle(handle), 1) << path;
        EXPECT_EQ(CloseHandle(handle), 0) << "closed twice: " << path;
    }
    for (const char* path : {"C:", "\\\\.\\CC:", "\\\\.\\Q:", "\\\\.\\F:", "\\\\.\\PhysicalDrive02",
                             "\\\\.\\PhysicalDrive-1", "\\\\.\\PhysicalDrive3", "\\\\.\\PhysicalDrive"}) {
        EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE) << path;
    }
}

TEST_F(DeviceCallsTest, SeekTakesBothHalvesAndReadsStopAtTheVolumeEnd) {
    const HANDLE volume = Open("\\\\.\\D:");
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(volume, 900, &high, FILE_BEGIN), 900u);
    std::uint8_t buffer[300] = {};
    DWORD read = 7;
    EXPECT_EQ(ReadFile(volume, buffer, sizeof buffer, &read, nullptr), 1);
    EXPECT_EQ(read, 100u) << "the volume ends 100 bytes after the seek";
    EXPECT_EQ(buffer[0], (512 + 900) % 251);
    EXPECT_EQ(buffer[100], 0) << "nothing is written beyond what was delivered";
    EXPECT_EQ(ReadFile(volume, buffer, sizeof buffer, &read, nullptr), 1);
    EXPECT_EQ(read, 0u) << "the read moved the position to the end";
    high = 1;
    EXPECT_EQ(SetFilePointer(volume, -512, &high, FILE_BEGIN), 0xFFFFFE00u);
    EXPECT_EQ(high, 1);
    high = -1;
    EXPECT_EQ(SetFilePointer(volume, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(volume, 10, nullptr, FILE_BEGIN), 10u);
    EXPECT_EQ(ReadFile(volume, buffer, 4, &read, nullptr), 1);
    EXPECT_EQ(buffer[0], (512 + 10) % 251);
    STORAGE_DEVICE_NUMBER record{};
    EXPECT_EQ(DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &record, sizeof record,
                              &read, nullptr),
              1);
    EXPECT_EQ(record.DeviceNumber, 2u);
    EXPECT_EQ(record.PartitionNumber, 1u);
    EXPECT_EQ(
        DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &record, 8, &read, nullptr), 0);
    EXPECT_EQ(CloseHandle(volume), 1);
    EXPECT_EQ(ReadFile(volume, buffer, 4, &read, nullptr), 0);
}

TEST_F(DeviceCallsTest, SizeQueriesOfImages) {
    ULONGLONG total = 0;
    EXPECT_EQ(GetDiskFreeSpaceExA("C:", nullptr, &total, nullptr), 1);
    EXPECT_EQ(total, 8192u);
    EXPECT_EQ(GetDiskFreeSpaceExA("d:\\", nullptr, &total, nullptr), 1);
    EXPECT_EQ(total, 1000u);
    for (const char* root : {"E:", "F:", "Q:", "C", "\\\\.\\C:"}) {
        total = 0;
        EXPECT_EQ(GetDiskFreeSpaceExA(root, nullptr, &total, nullptr), 0) << root;
        EXPECT_EQ(total, 0u) << root;
    }
}

// A failing card: reads of an injected range fail with EIO the way a device fails them.
class InjectedFaultTest : public DeviceCallsTest {
  protected:
    void TearDown() override {
        ClearInjectedFaults();
        DeviceCallsTest::TearDown();
    }
    // Reads length bytes at offset of path into a buffer that still holds a former read's bytes.
    static BOOL ReadAt(const std::string& path, LONG offset, std::vector<std::uint8_t>& buffer, DWORD& read) {
        const HANDLE handle = Open(path);
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xEE});
        SetFilePointer(handle, offset, nullptr, FILE_BEGIN);
        const BOOL ok = ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
        CloseHandle(handle);
        return ok;
    }
    static std::uint8_t ImageByte(std::int64_t offset) { return static_cast<std::uint8_t>(offset % 251); }
};

TEST_F(InjectedFaultTest, AReadStopsAtTheFailingByteAndSaysWhatFailed) {
    InjectReadFailure(image_, 3 * 512 + 100, 5 * 512 + 7);
    InjectReadFailure(dir_.File("other.img"), 0, 8191);  // another source's faults are not this one's
    std::vector<std::uint8_t> buffer(8192);
    DWORD read = 0;
    EXPECT_EQ(ReadAt("\\\\.\\C:", 0, buffer, read), 0) << "the read reports that part of it failed";
    EXPECT_EQ(read, 3u * 512 + 100) << "and delivers what lies before the failure";
    EXPECT_EQ(GetLastError(), ERROR_CRC);
    EXPECT_EQ(LastErrorText(), ErrorOfNumber(EIO).text);
    EXPECT_EQ(buffer[3 * 512 + 99], ImageByte(3 * 512 + 99));
    EXPECT_EQ(buffer[3 * 512 + 100], 0xEE) << "nothing is written beyond what was delivered";
    std::vector<std::uint8_t> before(3 * 512);
    EXPECT_EQ(ReadAt("\\\\.\\C:", 0, before, read), 1) << "a read that ends before the range does not fail";
    ClearInjectedFaults();
    EXPECT_EQ(ReadAt("\\\\.\\C:", 0, buffer, read), 1);
    EXPECT_EQ(read, 8192u);
}

TEST_F(InjectedFaultTest, ADeviceThatGoesAwayOrIsReplacedIsToldFromABadSector) {
    InjectReadFailure(image_, 4096, 8191, ENODEV);
    std::vector<std::uint8_t> buffer(8192);
    DWORD read = 0;
    EXPECT_EQ(ReadAt("\\\\.\\C:", 0, buffer, read), 0);
    EXPECT_EQ(read, 4096u);
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    ClearInjectedFaults();
    // Another file under the image's name is another device: the letter was given to the first.
    ASSERT_EQ(std::rename(image_.c_str(), dir_.File("moved.img").c_str()), 0);
    testing::PlaceBytes(image_, 0, BytesOf("another card"));
    EXPECT_EQ(Open("\\\\.\\C:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    ASSERT_EQ(std::remove(image_.c_str()), 0);
    EXPECT_EQ(Open("\\\\.\\C:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace velkor
