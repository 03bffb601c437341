#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/target_directory.h"
#include "platform/target_names.h"
#include "platform/unique_fd.h"

namespace velkor {
namespace {

using Kind = TargetDirectory::Saved::Kind;
using Placing = TargetDirectory::Placing;
using Saved = TargetDirectory::Saved;

// Narrowed by the umask, as for any file the user's own programs create.
constexpr mode_t kNewFileMode = 0666;
constexpr int kTemporaryNameTries = 100;
constexpr std::size_t kCompareBlock = 64 * 1024;

// A written file not yet under its name: unnamed, or a ".part-" name in the directory.
struct Temporary {
    UniqueFd fd;
    std::string name;  // empty for an unnamed file, and once the name has gone over to the photo
};

int Fd(std::intptr_t descriptor) { return static_cast<int>(descriptor); }

Saved Failed(const std::string& name, std::string reason) { return {Kind::kFailed, name, std::move(reason)}; }

// Returns how the call that just failed failed: kTaken when the name exists; kFailed leaves errno set.
Placed Refusal() { return errno == EEXIST ? Placed::kTaken : Placed::kFailed; }

// Returns a new temporary in directory, unnamed where the file system has unnamed files (for good
// otherwise, placing drops to named ones); nullopt with errno set when none can be made.
std::optional<Temporary> CreateTemporary(int directory, Placing& placing, std::int64_t& made) {
    if (placing == Placing::kAnonymousLink) {
        UniqueFd fd(openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode));
        if (fd) return Temporary{std::move(fd), {}};
        // EISDIR: a kernel older than unnamed files read the flag as O_DIRECTORY.
        if (errno != EOPNOTSUPP && errno != EISDIR) return std::nullopt;
        placing = Placing::kRenameNoReplace;
    }
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        std::string name = ".part-" + std::to_string(getpid()) + "-" + std::to_string(made++);
        UniqueFd fd(openat(directory, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, kNewFileMode));
        if (fd) return Temporary{std::move(fd), std::move(name)};
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

// Linking an unnamed file by its descriptor alone takes CAP_DAC_READ_SEARCH; through /proc it takes
// nothing. A link never replaces an existing name.
Placed LinkUnnamed(int directory, const Temporary& temporary, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(temporary.fd.get());
    if (linkat(AT_FDCWD, self.c_str(), directory, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return Refusal();
    return Placed::kYes;
}

// Without a refusing rename or hard links a file created under name between the check and the
// rename would be replaced. Nothing else closes that window on such a file system, and the only
// writer racing for these names is another save into the same folder.
Placed CheckThenRename(int directory, Temporary& temporary, const std::string& name) {
    struct stat info {};
    if (fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return Placed::kTaken;
    if (errno != ENOENT || renameat(directory, temporary.name.c_str(), directory, name.c_str()) != 0) {
        return Placed::kFailed;
    }
    temporary.name.clear();
    return Placed::kYes;
}

// A hard link fails on an existing name as a refusing rename does. When the temporary's own name
// cannot be removed afterwards the save fails, and the caller's removal names the leftover.
Placed LinkThenUnlink(int directory, Placing& placing, Temporary& temporary, const std::string& name) {
    if (linkat(directory, temporary.name.c_str(), directory, name.c_str(), 0) != 0) {
        // FAT and exFAT through FUSE have no hard links.
        if (errno != EPERM && errno != EOPNOTSUPP) return Refusal();
        placing = Placing::kCheckThenRename;
        return CheckThenRename(directory, temporary, name);
    }
    if (unlinkat(directory, temporary.name.c_str(), 0) != 0) return Placed::kFailed;
    temporary.name.clear();
    return Placed::kYes;
}

Placed RenameNoReplace(int directory, Placing& placing, Temporary& temporary, const std::string& name) {
    if (renameat2(directory, temporary.name.c_str(), directory, name.c_str(), RENAME_NOREPLACE) == 0) {
        temporary.name.clear();
        return Placed::kYes;
    }
    // FUSE file systems whose server has no rename2 (ntfs-3g, sshfs) refuse the flag with EINVAL.
    if (errno != EINVAL) return Refusal();
    placing = Placing::kHardLink;
    return LinkThenUnlink(directory, placing, temporary, name);
}

// Puts the temporary under name unless name exists; kTaken then, the temporary untouched.
Placed Place(int directory, Placing& placing, Temporary& temporary, const std::string& name) {
    if (placing == Placing::kAnonymousLink) return LinkUnnamed(directory, temporary, name);
    if (placing == Placing::kRenameNoReplace) return RenameNoReplace(directory, placing, temporary, name);
    if (placing == Placing::kHardLink) return LinkThenUnlink(directory, placing, temporary, name);
    return CheckThenRename(directory, temporary, name);
}

// Returns true when name is a regular file, not a link to one, holding exactly bytes. A file that
// cannot be read is not known to hold them, so it is kept and the photo goes to the next name.
bool HoldsExactly(int directory, const std::string& name, ByteView bytes) {
    struct stat info {};
    if (fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) != bytes.size()) {
        return false;
    }
    // O_NONBLOCK: a fifo swapped in after the check must not hang the save.
    UniqueFd fd(openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    std::array<std::uint8_t, kCompareBlock> block;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(fd.get(), block.data(), std::min(block.size(), bytes.size() - done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || std::memcmp(block.data(), bytes.data() + done, static_cast<std::size_t>(got)) != 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// Puts the temporary under name, or under the first numbered name that is free, unless one of
// them already holds exactly bytes.
Saved PutInPlace(int directory, Placing& placing, Temporary& temporary, const std::string& name,
                 ByteView bytes) {
    return PutUnderFreeName(
        name, [&](const std::string& candidate) { return Place(directory, placing, temporary, candidate); },
        [&](const std::string& candidate) { return HoldsExactly(directory, candidate, bytes); },
        [] { return std::string(std::strerror(errno)); });
}

// Takes back a photo linked in from an unnamed file whose close failed; returns the failure.
Saved Unplace(int directory, const std::string& placed, const std::string& name) {
    std::string reason = std::strerror(errno);
    if (unlinkat(directory, placed.c_str(), 0) != 0) {
        reason += "（" + placed + " 未能删除：" + std::strerror(errno) + "）";
    }
    return Failed(name, reason);
}

Saved WriteAndPlace(int directory, Placing& placing, Temporary& temporary, const std::string& name,
                    ByteView bytes) {
    const bool unnamed = temporary.name.empty();
    // A full disk may only show at close on some file systems (NFS, FUSE), so a named temporary is
    // closed, and its result known, before the photo's name can point at it.
    if (!WriteAll(temporary.fd.get(), bytes) || (!unnamed && !temporary.fd.Close())) {
        return Failed(name, std::strerror(errno));
    }
    Saved saved = PutInPlace(directory, placing, temporary, name, bytes);
    const bool linked = saved.kind == Kind::kWritten || saved.kind == Kind::kWrittenUnderFreeName;
    if (unnamed && linked && !temporary.fd.Close()) return Unplace(directory, saved.name, name);
    return saved;
}

// Removes the temporary's name if it still has one; returns "" or a note naming the leftover.
// An unnamed temporary vanishes with its descriptor.
std::string Discard(int directory, const Temporary& temporary) {
    if (temporary.name.empty() || unlinkat(directory, temporary.name.c_str(), 0) == 0) return {};
    return "（临时文件 " + temporary.name + " 未能删除：" + std::strerror(errno) + "）";
}

Saved SaveThroughTemporary(int directory, Placing& placing, std::int64_t& made, const std::string& name,
                           ByteView bytes) {
    std::optional<Temporary> temporary = CreateTemporary(directory, placing, made);
    if (!temporary) return Failed(name, std::strerror(errno));
    Saved saved = WriteAndPlace(directory, placing, *temporary, name, bytes);
    if (const std::string leftover = Discard(directory, *temporary); !leftover.empty()) {
        saved = Failed(name, saved.reason + leftover);
    }
    return saved;
}

// Returns true when the directory has been removed. ext4 then refuses an unnamed file with EPERM
// and other calls answer ENOENT; the folder being gone is the cause worth telling either way.
bool IsRemoved(int directory) {
    struct stat info {};
    return fstat(directory, &info) == 0 && info.st_nlink == 0;
}

}  // namespace

std::optional<TargetDirectory> TargetDirectory::Open(const std::string& path, std::string& reason,
                                                     Placing first) {
    // Read access rather than O_PATH: syncfs refuses a descriptor opened for its path alone.
    TargetDirectory directory(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), first);
    if (directory.descriptor_ < 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    if (first == Placing::kAnonymousLink && access("/proc/self/fd", X_OK) != 0) {
        directory.placing_ = Placing::kRenameNoReplace;
    }
    return directory;
}

TargetDirectory::TargetDirectory(TargetDirectory&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      placing_(other.placing_),
      temporariesMade_(other.temporariesMade_) {}

TargetDirectory& TargetDirectory::operator=(TargetDirectory&& other) noexcept {
    if (this != &other) {
        UniqueFd released(Fd(descriptor_));
        descriptor_ = std::exchange(other.descriptor_, -1);
        placing_ = other.placing_;
        temporariesMade_ = other.temporariesMade_;
    }
    return *this;
}

TargetDirectory::~TargetDirectory() { UniqueFd released(Fd(descriptor_)); }

TargetDirectory::Saved TargetDirectory::Save(const std::string& name, ByteView bytes) {
    if (!IsPlainFileName(name)) return Failed(name, NotAFileNameText());
    Saved saved = SaveThroughTemporary(Fd(descriptor_), placing_, temporariesMade_, name, bytes);
    if (saved.kind == Kind::kFailed && IsRemoved(Fd(descriptor_))) saved.reason = std::strerror(ENOENT);
    return saved;
}

bool TargetDirectory::MakeDurable(std::string& reason) {
    // One syncfs for the whole save measured faster than an fdatasync per photo (bench/README.md).
    // Since Linux 5.8 it also reports a write-back error of any file on the file system since the
    // directory was opened, so a photo whose pages never reached the disk fails here.
    if (syncfs(Fd(descriptor_)) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

}  // namespace velkor
