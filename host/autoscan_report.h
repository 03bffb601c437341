#pragma once
// What one run of velkor-autoscan came to, told as one JSON line, whichever window it drove.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/launcher.h"

namespace velkor::host {

// Where a drive of the window is in its run.
enum class Step { PickDrive, Scanning, Previewing, Saving, Done };

struct Outcome {
    int found = 0;
    long long saved = 0;
    double scanSeconds = 0;
    double saveSeconds = 0;
    long long bytesRead = 0;
    std::string failure;  // what went wrong; empty when the scan and the save completed
    // What the library's probes answer for the last candidate the scan examined.
    std::int32_t probedWidth = 0;
    std::int32_t probedHeight = 0;
};

// text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

// Prints the JSON line, and what failed on stderr; returns the exit status, 0 only when nothing failed.
int Report(const Outcome& outcome);

// The library in this program's directory, where the deliverables lie together.
std::string LibraryPath();

// The library's winhex entry, loaded from library; nullptr, once it has said why on stderr.
LibraryEntry LoadWinhex(const std::string& library);

// The probes' answers, read from the library at path once the window has closed.
void ReadProbes(const std::string& library, Outcome& outcome);

}  // namespace velkor::host
