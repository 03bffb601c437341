#pragma once
// What a launcher needs of the system to start the library: its arguments as UTF-8, an
// environment variable the library reads, and an entry of the library loaded by path.
#include <string>
#include <vector>

namespace velkor {

// The program's arguments after its name, as UTF-8 text.
std::vector<std::string> LauncherArguments(int argc, char** argv);

// Sets the environment variable name to value for this process and the library it loads.
void SetEnvironmentValue(const char* name, const std::string& value);

// An entry without arguments or result.
using LibraryEntry = void (*)();

// Loads the library at path, for the rest of the process, and returns its entry name;
// nullptr, with why in reason, when either cannot be had.
LibraryEntry LoadLibraryEntry(const std::string& path, const char* name, std::string& reason);

// Bytes this process has read from files and devices so far.
long long BytesReadByThisProcess();

// This process's peak memory use in KiB (resident set, working set); 0 when unknown.
long long PeakMemoryKib();

// The library's file name on this system, and its probes' entry names as its export
// table spells them (GBK on Windows).
#if defined(_WIN32)
inline constexpr char kLibraryFileName[] = "velkor.dll";
inline constexpr char kWidthEntryName[] = "\xc8\xa1jpg\xcd\xbc\xc6\xac\xbf\xed\xb6\xc8";
inline constexpr char kHeightEntryName[] = "\xc8\xa1jpg\xcd\xbc\xc6\xac\xb8\xdf\xb6\xc8";
#else
inline constexpr char kLibraryFileName[] = "libvelkor.so";
inline constexpr char kWidthEntryName[] = "取jpg图片宽度";
inline constexpr char kHeightEntryName[] = "取jpg图片高度";
#endif

}  // namespace velkor
