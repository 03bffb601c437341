#pragma once
// Helpers shared by the test suites.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "host/photo_synth.h"
#include "platform/bytes.h"
#include "tests/support/scratch_files.h"

namespace velkor::testing {

using synth::CanEncode;
using synth::JpegOptions;
using synth::MakeJpeg;
using synth::PadJpegTo;

// The window's picture box, and what one preview in it may cost at most.
inline constexpr int kPictureBoxWidth = 488;
inline constexpr int kPictureBoxHeight = 392;
inline constexpr long long kPreviewMemoryBound = 200LL * 1024 * 1024;
inline constexpr std::chrono::seconds kPreviewNotFrozen{5};

// The codings cameras write, each named for the failure messages.
struct NamedCoding {
    const char* name;
    JpegOptions options;
};
inline const std::vector<NamedCoding>& CameraCodings() {
    static const std::vector<NamedCoding> codings = {
        {"4:2:0", {}},
        {"progressive", {.progressive = true}},
        {"grayscale", {.grayscale = true}},
        {"4:4:4 with restarts", {.horizontalSampling = 1, .verticalSampling = 1, .restartRows = 2}},
        {"4:2:2", {.horizontalSampling = 2, .verticalSampling = 1}}};
    return codings;
}

// Pictures whose measurement must settle once the measuring unit has read its length.
struct MeasuredCase {
    const char* name;
    ByteSet bytes;
    bool accepted;
};
std::vector<MeasuredCase> MeasuredCases();

// Why a case that needs a progressive picture is skipped where the encoder writes baseline only.
inline constexpr char kNoProgressiveEncoder[] = "this system's JPEG encoder writes no progressive pictures";

// Linux alone (test_support_linux.cpp): mounts, loop devices, inotify and shell commands.

// A tmpfs of sizeBytes mounted on directory, in this test process's own mount namespace so that
// none outlives it, for as long as it lives. Mounted() is false where mounting is not allowed.
class TmpfsMount {
public:
    TmpfsMount(std::string directory, std::int64_t sizeBytes, bool readOnly);
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    ~TmpfsMount();
    bool Mounted() const { return mounted_; }

private:
    std::string directory_;
    bool mounted_ = false;
};

// A loop device over image, detached when it goes; Path() is empty (Error() says
// why) where none can be attached: not root, or no loop devices in a container.
class LoopDevice {
public:
    explicit LoopDevice(const std::string& image);
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    ~LoopDevice();
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

private:
    std::string path_;
    std::string error_;
};

// A fresh ext4 on device mounted on directory in this test process's own mount
// namespace, unmounted when it goes; Mounted() is false (Error() says why) where that is not allowed.
class Ext4Mount {
public:
    Ext4Mount(const std::string& device, std::string directory);
    Ext4Mount(const Ext4Mount&) = delete;
    Ext4Mount& operator=(const Ext4Mount&) = delete;
    ~Ext4Mount();
    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }

private:
    std::string directory_;
    std::string error_;
    bool mounted_ = false;
};

// Every system.

// A scratch directory holding a copy of picvet, used as the program directory while it lives.
class ScratchProgramDirectory : public ScratchDir {
public:
    ScratchProgramDirectory();
    ~ScratchProgramDirectory();
};


// The most memory this process has held at once, in bytes.
long long PeakResidentBytes();

// A picture of the given size padded to exactly sectors sectors, so a scan cuts it that long.
ByteSet SectorPhoto(int width, int height, std::uint32_t seed, std::int64_t sectors = 10);

// Writes three pictures of ten sectors each (80 x 60, 90 x 60, 100 x 60) at sectors
// 100, 600 and 1100 of a 4000-sector image made drive C; returns them in that order.
std::vector<ByteSet> MakeThreePictureCard(const std::string& image);

// Copies the deliverable name (picvet, libvelkor.so, ...) from the build's program directory into directory.
void CopyDeliverable(const std::string& name, const std::string& directory);

// Returns every inotify event mask read from inotifyFd (non-blocking) since the last call.
std::uint32_t SeenInotifyEvents(int inotifyFd);

struct CommandResult {
    int status = -1;     // exit status, -1 when the command did not exit normally
    std::string output;  // standard output and standard error together
};

// Runs a shell command line made by the test itself and collects what it prints.
CommandResult RunCommand(const std::string& command);

// The build's program directory, where the deliverables are.
std::string BuildProgramDirectory();

}  // namespace velkor::testing
