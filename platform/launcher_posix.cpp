#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

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

}  // namespace velkor
