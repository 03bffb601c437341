// velkor [IMAGE]... [--extra IMAGE]...: loads libvelkor.so from its own directory
// and opens the tool. Each IMAGE is offered as a drive besides the machine's own,
// the first one selected; an --extra image is offered without being selected.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/own_directory.h"
#include "host/staging.h"
#include "platform/image_list.h"

namespace {

constexpr char kUsage[] =
    "usage: velkor [IMAGE]... [--extra IMAGE]...\n"
    "Opens Velkor, which recovers deleted JPEG photos from a drive or a disk image.\n"
    "Each IMAGE is offered as a drive after the machine's own; the first one is selected.\n"
    "  --extra IMAGE  offer IMAGE as a drive too, without selecting it\n"
    "  --             take every later argument as an IMAGE\n"
    "  --help         show this text and exit\n"
    "  --version      show the version and exit\n";

struct Arguments {
    std::vector<std::string> images;
    std::vector<std::string> extras;
    bool help = false;
    bool version = false;
    std::string error;  // why the command line cannot be followed; empty when it can
};

Arguments ParseArguments(int argc, char** argv) {
    Arguments arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc && arguments.error.empty(); ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            arguments.images.emplace_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            arguments.help = true;
        } else if (argument == "--version") {
            arguments.version = true;
        } else if (argument == "--extra" && i + 1 < argc) {
            arguments.extras.emplace_back(argv[++i]);
        } else {
            arguments.error =
                argument == "--extra" ? "--extra needs an IMAGE" : "unknown option " + std::string(argument);
        }
    }
    return arguments;
}

// Names paths, made absolute, to the library in variable. An image that cannot be
// offered is named all the same, so that the window tells it too.
void OfferImages(const char* variable, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::vector<std::string> absolute;
    for (const std::string& path : paths) {
        absolute.push_back(velkor::AbsoluteImagePath(path));
        const std::string reason = velkor::ImageUnusableReason(absolute.back());
        if (reason.empty()) continue;
        std::fprintf(stderr, "velkor: %s: %s (not offered as a drive)\n",
                     velkor::PrintablePath(absolute.back()).c_str(), reason.c_str());
    }
    setenv(variable, velkor::EncodeImageList(absolute).c_str(), 1);
}

// Opens the tool's window and returns when it closes; 1 when the library cannot be loaded.
int OpenTool() {
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

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = ParseArguments(argc, argv);
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "velkor: %s\n%s", arguments.error.c_str(), kUsage);
        return 2;
    }
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.version) {
        std::printf("velkor %s\n", VELKOR_VERSION);
        return 0;
    }
    if (const std::optional<int> status = velkor::host::RunStagedWhenInstalled(argv)) return *status;
    OfferImages(velkor::kImagesVariable, arguments.images);
    OfferImages(velkor::kExtraImagesVariable, arguments.extras);
    return OpenTool();
}
