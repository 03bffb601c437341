#pragma once
// Owning Win32 handles, and what identifies the device or file behind one; for the
// Windows build only.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/drive_table.h"

namespace velkor {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    void Reset() {
        if (*this) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens a file or device by its UTF-8 path; access 0 asks only to query it.
UniqueHandle OpenForReading(const std::string& path, DWORD access = GENERIC_READ);

// What every device path begins with.
inline constexpr char kDeviceNamespace[] = "\\\\.\\";

// Returns true when path names a device ("\\.\X:", "\\.\PhysicalDriveN"), not a file.
bool IsDevicePath(const std::string& path);

// The identity of what handle, opened on path, reaches: for a device its storage
// number and its file system's serial; for a file its volume's serial number, its
// file index and its creation time.
std::optional<DeviceIdentity> IdentityOfHandle(HANDLE handle, const std::string& path);

}  // namespace velkor
