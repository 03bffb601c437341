#pragma once
// The few system calls the Win32-shaped device layer stands on: opening a source (a
// disk, a partition, an image file) for reading, reading it at an offset, and a
// volume's space. One implementation per system; the layer's device paths, handles,
// positions and test faults need none of them.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/drive_table.h"

namespace velkor::win32 {

// Kept apart from the device layer's own header, whose Win32 names would clash with the
// system's on Windows; the values are the same.
using ErrorCode = std::uint32_t;
using ByteCount = std::uint64_t;

// A failure as GetLastError() and LastErrorText() tell it.
struct DeviceError {
    ErrorCode code = 0;
    std::string text;
};

// The Win32 code for a C error number (EIO: an unreadable sector, ENODEV: a device gone).
ErrorCode CodeOfErrorNumber(int error);

// The failure a C error number stands for, in the system's words. The layer raises its
// own failures this way, and faults injected for tests carry one.
DeviceError ErrorOfNumber(int error);

// A source opened for reading only; closed when this goes.
class SourceFile {
public:
    // Opens source read-only; with an identity, only when it is still that very device or file.
    static std::optional<SourceFile> Open(const std::string& source, const std::optional<DeviceIdentity>& identity,
                                          DeviceError& error);
    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    // Reads up to size bytes at offset: the count read (0 at the end), or -1 with error set.
    std::int64_t ReadAt(std::uint8_t* into, std::int64_t size, std::int64_t offset, DeviceError& error) const;

private:
    explicit SourceFile(std::intptr_t native) : native_(native) {}
    std::intptr_t native_;  // the system's handle or descriptor
};

struct SpaceCounters {
    ByteCount available = 0;
    ByteCount total = 0;
    ByteCount free = 0;
};

// The space of a volume: a device answers with its file system's, an image with its
// extent (it is only ever read, so nothing of it is free); nothing when it cannot tell.
std::optional<SpaceCounters> VolumeSpace(const ArrangedVolume& volume);

}  // namespace velkor::win32
