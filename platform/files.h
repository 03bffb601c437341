#pragma once
// Whole-file I/O, the program directory and timed waits.
#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace velkor {

// Returns the directory of the running executable, without a trailing separator.
std::string ProgramDirectory();

// Points ProgramDirectory() elsewhere; tests use it so that parallel runs never
// share scratch files. An empty text restores the executable's directory.
void OverrideProgramDirectory(const std::string& directory);

// The separator appended between a directory and a file name.
inline constexpr char kPathSeparator = '/';

// Writes bytes to path, creating or replacing it; returns false when it could not be written whole.
bool WriteWholeFile(const std::string& path, ByteView bytes);

// Writes bytes beside path and renames the result over it, so path never holds a
// half-written file. Returns false with the reason when it could not.
bool ReplaceFileAtomically(const std::string& path, ByteView bytes, std::string& reason);

// Returns the whole content of path; empty when it cannot be read.
ByteSet ReadWholeFile(const std::string& path);

// A read-only view of a whole file, mapped rather than copied so that a reader
// that needs only its first bytes does not pay for the rest.
class FileMapping {
public:
    // Maps path; View() is empty when it cannot be read or is empty.
    explicit FileMapping(const std::string& path);
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping();
    ByteView View() const { return {data_, size_}; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Blocks the calling thread for the given number of milliseconds.
void WaitMilliseconds(std::int64_t milliseconds);

// Returns true when a file can be created in directory (it is created and removed again).
bool IsDirectoryWritable(const std::string& directory);

// Returns true when path names an existing file that the caller may execute.
bool IsExecutableFile(const std::string& path);

}  // namespace velkor
