#pragma once
// A file descriptor closed exactly once. Linux-only; used inside platform/.
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/bytes.h"

namespace velkor {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now; returns false when close reported an error (a lost write, for instance).
    bool Close() {
        if (fd_ < 0) return true;
        // Don't retry close on EINTR: the descriptor is already released on Linux.
        const bool ok = ::close(std::exchange(fd_, -1)) == 0;
        return ok;
    }

private:
    void Reset() { Close(); }
    int fd_ = -1;
};

// Writes every byte, retrying short writes; returns false on the first error (errno kept).
inline bool WriteAll(int fd, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace velkor
