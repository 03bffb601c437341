#pragma once
// An exclusive lock that one running copy of the program holds on a directory, so
// that two copies never share the scratch files kept there.
#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

// Holds the lock on its lock file until destroyed. The lock belongs to this one
// holder: another holder in the same process is refused like another process.
class DirectoryLock {
public:
    DirectoryLock(DirectoryLock&& other) noexcept;
    DirectoryLock& operator=(DirectoryLock&& other) noexcept;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

    // Takes the lock on lockFile (created when missing) without waiting. Returns
    // nullopt when it cannot: heldElsewhere is then true when another holder has
    // it, and failure says why it could not be taken otherwise.
    static std::optional<DirectoryLock> TryTake(const std::string& lockFile, bool& heldElsewhere,
                                                std::string& failure);

private:
    explicit DirectoryLock(std::intptr_t descriptor) : descriptor_(descriptor) {}
    std::intptr_t descriptor_ = -1;  // the system's descriptor or handle
};

}  // namespace velkor
