#pragma once
// The Win32 device calls the raw reader is written against, declared with their
// Windows shapes so the same reader builds on either system. On Linux they are
// served from the drive table (platform/drive_table.h). Sources are only ever
// opened for reading, whatever access a caller asks for.
#include <cstdint>
#include <string>

namespace velkor::win32 {

using HANDLE = void*;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using ULONGLONG = std::uint64_t;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x2D1080;
// Access that allows control queries but no reading or writing of data.
inline constexpr DWORD QUERY_ACCESS = 0;

// What GetLastError() tells after a failed call.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_CRC = 23;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

struct STORAGE_DEVICE_NUMBER {
    DWORD DeviceType;
    DWORD DeviceNumber;
    DWORD PartitionNumber;
};

// Opens "\\.\X:" (a volume) or "\\.\PhysicalDriveN" read-only; INVALID_HANDLE_VALUE when it cannot.
HANDLE CreateFileA(const char* path, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Moves to (high << 32 | low); returns the new low half, INVALID_SET_FILE_POINTER on failure.
DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod);
// Reads up to toRead bytes at the current position, fewer where the volume ends;
// *read is what was delivered. 0 when the read failed part way, with *read the
// bytes delivered before the failure and the position moved past them only.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
// Releases the handle; 0 when it was not open.
BOOL CloseHandle(HANDLE file);
// Answers IOCTL_STORAGE_GET_DEVICE_NUMBER; 0 on failure.
BOOL DeviceIoControl(HANDLE device, DWORD controlCode, void* inBuffer, DWORD inSize, void* outBuffer,
                     DWORD outSize, DWORD* bytesReturned, void* overlapped);
// Total bytes of the volume "X:"; 0 (and the counters untouched) on failure.
BOOL GetDiskFreeSpaceExA(const char* rootPath, ULONGLONG* freeBytesAvailable, ULONGLONG* totalBytes,
                         ULONGLONG* totalFreeBytes);

// The code of the last failure of a call above on this thread (ERROR_CRC for an
// unreadable sector, ERROR_DEVICE_NOT_CONNECTED for a device that went away).
DWORD GetLastError();

// The system's own words for the last failure on this thread, as FormatMessage gives them.
std::string LastErrorText();

}  // namespace velkor::win32
