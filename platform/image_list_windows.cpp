#include <windows.h>

#include <string>

#include "platform/image_list.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

// "X:\..." or "\\server\share\...": a path that does not depend on the working directory.
bool IsAbsolute(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

}  // namespace

std::string AbsoluteImagePath(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size) return path;
    full.resize(written);
    return Narrow(full);
}

std::string ImageUnusableReason(const std::string& path) {
    if (!IsAbsolute(path)) return "is not an absolute path";
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return SystemErrorText(::GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "is a directory, not an image file";
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return "is not a regular file, so not an image file";
    const UniqueHandle file = OpenForReading(path);
    if (!file) return SystemErrorText(::GetLastError());
    char first = 0;
    DWORD got = 0;
    if (!::ReadFile(file.get(), &first, 1, &got, nullptr)) {
        return "cannot be read: " + SystemErrorText(::GetLastError());
    }
    if (got == 0) return "is empty";
    return {};
}

}  // namespace velkor
