// velkor: loads libvelkor.so from its own directory and opens the tool. Each
// argument names a disk image to offer as a drive besides the machine's own.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/own_directory.h"

namespace {

std::string AbsolutePath(const char* path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) != nullptr ? std::string(resolved) : std::string(path);
}

}  // namespace

int main(int argc, char** argv) {
    std::string images;
    for (int i = 1; i < argc; ++i) images += AbsolutePath(argv[i]) + "\n";
    if (!images.empty()) setenv("VELKOR_IMAGES", images.c_str(), 1);
    const std::string library = velkor::host::OwnDirectory() + "/libvelkor.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "velkor: cannot load %s: %s\n", library.c_str(), dlerror());
        return 1;
    }
    auto* winhex = reinterpret_cast<void (*)()>(dlsym(handle, "winhex"));
    if (winhex == nullptr) {
        std::fprintf(stderr, "velkor: %s has no entry winhex\n", library.c_str());
        return 1;
    }
    winhex();
    return 0;
}
