#include <windows.h>

#include <utility>

#include "platform/directory_lock.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

constexpr std::intptr_t kNoHandle = -1;

HANDLE AsHandle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept : descriptor_(std::exchange(other.descriptor_, kNoHandle)) {}

DirectoryLock& DirectoryLock::operator=(DirectoryLock&& other) noexcept {
    if (this != &other) {
        UniqueHandle released(AsHandle(descriptor_));
        descriptor_ = std::exchange(other.descriptor_, kNoHandle);
    }
    return *this;
}

// Closing the handle releases the lock.
DirectoryLock::~DirectoryLock() { UniqueHandle released(AsHandle(descriptor_)); }

std::optional<DirectoryLock> DirectoryLock::TryTake(const std::string& lockFile, bool& heldElsewhere,
                                                    std::string& failure) {
    heldElsewhere = false;
    // Shared with no one: a second open, in this process or another, is refused. The
    // handle is not inherited, so a validator started meanwhile does not keep it.
    UniqueHandle file(::CreateFileW(Widen(lockFile).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        heldElsewhere = error == ERROR_SHARING_VIOLATION;
        failure = SystemErrorText(error);
        return std::nullopt;
    }
    return DirectoryLock(reinterpret_cast<std::intptr_t>(file.release()));
}

}  // namespace velkor
