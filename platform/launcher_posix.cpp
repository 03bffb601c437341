#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/launcher.h"

namespace velkor {

std::vector<std::string> LauncherArguments(int argc, char** argv) { return {argv + std::min(argc, 1), argv + argc}; }

void SetEnvironmentValue(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

LibraryEntry LoadLibraryEntry(const std::string& path, const char* name, std::string& reason) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        reason = dlerror();
        return nullptr;
    }
    auto* entry = reinterpret_cast<LibraryEntry>(dlsym(handle, name));
    if (entry == nullptr) reason = std::string("no entry ") + name;
    return entry;
}

long long BytesReadByThisProcess() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

long long PeakMemoryKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6);
    }
    return 0;
}

}  // namespace velkor
