#include "tests/support/test_support.h"
#include "tests/support/scratch_files.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>


namespace velkor::testing {
namespace {

bool InOwnMountNamespace() {
    static const bool entered =
        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

}  // namespace

// temp_directory_path honours TMPDIR.
std::vector<std::filesystem::path> ScratchParents() { return {std::filesystem::temp_directory_path()}; }

TmpfsMount::TmpfsMount(std::string directory, std::int64_t sizeBytes, bool readOnly)
    : directory_(std::move(directory)) {
    const std::string options = "size=" + std::to_string(sizeBytes);
    mounted_ = InOwnMountNamespace() &&
               mount("tmpfs", directory_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) umount2(directory_.c_str(), MNT_DETACH);
}

LoopDevice::LoopDevice(const std::string& image) {
    const CommandResult attached = RunCommand("losetup --find --show '" + image + "'");
    if (attached.status != 0) {
        error_ = attached.output;
        return;
    }
    path_ = attached.output.substr(0, attached.output.find('\n'));
}

LoopDevice::~LoopDevice() {
    if (!path_.empty()) RunCommand("losetup --detach " + path_);
}

Ext4Mount::Ext4Mount(const std::string& device, std::string directory) : directory_(std::move(directory)) {
    std::filesystem::create_directories(directory_);
    const CommandResult made = RunCommand("mkfs.ext4 -q -F " + device);
    if (made.status != 0) {
        error_ = "mkfs.ext4: " + made.output;
    } else if (!InOwnMountNamespace()) {
        error_ = std::string("unshare: ") + std::strerror(errno);
    } else if (mount(device.c_str(), directory_.c_str(), "ext4", 0, nullptr) != 0) {
        error_ = std::string("mount: ") + std::strerror(errno);
    } else {
        mounted_ = true;
    }
}

Ext4Mount::~Ext4Mount() {
    if (mounted_) umount2(directory_.c_str(), MNT_DETACH);
}

long long PeakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

std::uint32_t SeenInotifyEvents(int inotifyFd) {
    std::uint32_t seen = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(inotifyFd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            seen |= event->mask;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return seen;
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) result.output.append(block, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace velkor::testing
