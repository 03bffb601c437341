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

// The library's file name on this system.
#if defined(_WIN32)
inline constexpr char kLibraryFileName[] = "velkor.dll";
#else
inline constexpr char kLibraryFileName[] = "libvelkor.so";
#endif

}  // namespace velkor
