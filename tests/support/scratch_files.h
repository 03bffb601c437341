#pragma once
// Scratch directories and image files for the suites, with nothing but the C++
// library, so that the suites over image files run on every system.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace velkor::testing {

// Where scratch directories are made, the first that takes one: the system's temporary
// directory, or a place like it.
std::vector<std::filesystem::path> ScratchParents();

// A fresh directory under the first of ScratchParents() that takes one, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Returns the names in directory, sorted; empty when it cannot be read.
std::vector<std::string> NamesIn(const std::string& directory);

// Writes bytes into path at offset, creating or extending the file (sparse where it grows).
void PlaceBytes(const std::string& path, std::int64_t offset, ByteView bytes);

// Makes path a sparse file of exactly size bytes.
void SizeFile(const std::string& path, std::int64_t size);

// Returns a fingerprint of the file (size and FNV-1a of its content) that tells any change.
std::string FileFingerprint(const std::string& path);

// Makes path a copy of the stand-in program built beside the suites (support/stand_in_program.cpp),
// with the system's program suffix, that does what order says; returns the path to start.
std::string StandIn(const std::string& path, const std::string& order);

// Makes image, sized to sectors, drive C on physical drive 0 and the only drive.
void UseImageAsDriveC(const std::string& image, std::int64_t sectors);

}  // namespace velkor::testing
