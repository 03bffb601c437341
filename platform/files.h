#pragma once
// Whole-file I/O, the program directory and timed waits.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/bytes.h"

namespace velkor {

// Returns the directory of the running executable, without a trailing separator.
std::string ProgramDirectory();

// Points ProgramDirectory() elsewhere; tests use it so that parallel runs never
// share scratch files. An empty text restores the executable's directory.
void OverrideProgramDirectory(const std::string& directory);

// The separator appended between a directory and a file name; every system Velkor
// runs on takes it.
inline constexpr char kPathSeparator = '/';
// The separator the system itself writes in paths it gives, and how programs are named
// in the program directory ("picvet" is picvet.exe on Windows).
#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';
inline constexpr char kProgramSuffix[] = ".exe";
#else
inline constexpr char kNativeSeparator = '/';
inline constexpr char kProgramSuffix[] = "";
#endif
// path written with this system's separator, as the user sees paths.
std::string NativePath(std::string path);

// Writes bytes to path, creating or replacing its content, never through a
// symbolic link; returns false when it could not be written whole, with the
// system's reason in reason when given.
bool WriteWholeFile(const std::string& path, ByteView bytes, std::string* reason = nullptr);

// The modification time and inode of a file: any write to it or replacement of it changes them.
struct FileStamp {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

// Writes bytes to path as WriteWholeFile does and dates it back to the epoch, so
// that a later write shows in its stamp however coarse the file system's clock;
// returns the stamp it left, nullopt (with reason) when it could not write.
std::optional<FileStamp> WriteBackdatedFile(const std::string& path, ByteView bytes, std::string* reason = nullptr);

// Returns path's stamp now (a symbolic link's own); nullopt when it is missing.
std::optional<FileStamp> StampOf(const std::string& path);

// Why a file cannot serve as a scratch file that is overwritten at will.
enum class ScratchFault {
    kNone,          // absent, or a plain file of its own
    kSymbolicLink,  // a write would land wherever it points
    kNotRegular,    // a device, directory, pipe ...
    kMoreNames,     // hard links: a write would change the file under its other names too
};

// Returns what stands against overwriting path as a scratch file.
ScratchFault ScratchFaultOf(const std::string& path);

// Returns true when both paths name the same file, links followed; false when either is missing.
bool SameFile(const std::string& a, const std::string& b);

// Makes a write beyond the process's file-size limit fail with EFBIG, so it can be
// reported, instead of ending the process.
void FailWritesBeyondFileSizeLimit();

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

// The value of the environment variable name; empty when it is not set.
std::string EnvironmentVariable(const char* name);

// Blocks the calling thread for the given number of milliseconds.
void WaitMilliseconds(std::int64_t milliseconds);

// Returns true when a file can be created in directory (it is created and removed again).
bool IsDirectoryWritable(const std::string& directory);

// Returns true when path names an existing file that the caller may execute.
bool IsExecutableFile(const std::string& path);

}  // namespace velkor
