#include "host/autoscan_report.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/launcher.h"

namespace velkor::host {

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

int Report(const Outcome& outcome) {
    const bool ok = outcome.failure.empty();
    std::printf(
        "{\"found\": %d, \"saved\": %lld, \"scan_seconds\": %.3f, \"save_seconds\": %.3f, "
        "\"bytes_read\": %lld, \"peak_rss_kb\": %lld, \"probe_width\": %d, \"probe_height\": %d, "
        "\"ok\": %s, \"reason\": %s}\n",
        outcome.found, outcome.saved, outcome.scanSeconds, outcome.saveSeconds, outcome.bytesRead, PeakMemoryKib(),
        outcome.probedWidth, outcome.probedHeight, ok ? "true" : "false", JsonString(outcome.failure).c_str());
    if (!ok) std::fprintf(stderr, "velkor-autoscan: %s\n", outcome.failure.c_str());
    return ok ? 0 : 1;
}

std::string LibraryPath() { return ProgramDirectory() + "/" + kLibraryFileName; }

LibraryEntry LoadWinhex(const std::string& library) {
    std::string reason;
    const LibraryEntry winhex = LoadLibraryEntry(library, "winhex", reason);
    if (winhex == nullptr) std::fprintf(stderr, "velkor-autoscan: %s\n", reason.c_str());
    return winhex;
}

void ReadProbes(const std::string& library, Outcome& outcome) {
    using Probe = std::int32_t (*)();
    std::string reason;
    if (auto* width = reinterpret_cast<Probe>(LoadLibraryEntry(library, kWidthEntryName, reason))) outcome.probedWidth = width();
    if (auto* height = reinterpret_cast<Probe>(LoadLibraryEntry(library, kHeightEntryName, reason))) outcome.probedHeight = height();
}

}  // namespace velkor::host
