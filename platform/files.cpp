#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/files.h"
#include "platform/files_system.h"

namespace velkor {
namespace {

std::mutex gOverrideMutex;
std::string gOverride;

bool IsSeparator(char c) { return c == '/' || c == kNativeSeparator; }

}  // namespace

std::string ProgramDirectory() {
    {
        std::lock_guard lock(gOverrideMutex);
        if (!gOverride.empty()) return gOverride;
    }
    static const std::string directory = ExecutableDirectory();
    return directory;
}

void OverrideProgramDirectory(const std::string& directory) {
    std::lock_guard lock(gOverrideMutex);
    gOverride = directory;
    while (gOverride.size() > 1 && IsSeparator(gOverride.back())) gOverride.pop_back();
}

std::string EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

void WaitMilliseconds(std::int64_t milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace velkor
