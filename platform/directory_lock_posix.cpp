#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/directory_lock.h"
#include "platform/unique_fd.h"

namespace velkor {

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

DirectoryLock& DirectoryLock::operator=(DirectoryLock&& other) noexcept {
    if (this != &other) {
        UniqueFd released(static_cast<int>(descriptor_));
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

// Closing the descriptor releases the lock.
DirectoryLock::~DirectoryLock() { UniqueFd released(static_cast<int>(descriptor_)); }

std::optional<DirectoryLock> DirectoryLock::TryTake(const std::string& lockFile, bool& heldElsewhere,
                                                    std::string& failure) {
    heldElsewhere = false;
    // Close-on-exec: a validator started while the lock is held must not keep it
    // alive after this copy has ended.
    DirectoryLock lock(open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (lock.descriptor_ < 0) {
        failure = std::strerror(errno);
        return std::nullopt;
    }
    // flock, not fcntl: its lock belongs to the open file, so a second holder in the
    // same process is refused as well, and it ends with the last close.
    while (flock(static_cast<int>(lock.descriptor_), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        heldElsewhere = errno == EWOULDBLOCK;
        failure = std::strerror(errno);
        return std::nullopt;
    }
    return lock;
}

}  // namespace velkor
