// velkor [IMAGE]... [--extra IMAGE]...: loads the library (libvelkor.so, velkor.dll) from
// its own directory and opens the tool. Each IMAGE is offered as a drive besides the machine's own,
// the first one selected; an --extra image is offered without being selected.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/staging.h"
#include "platform/files.h"
#include "platform/image_list.h"
#include "platform/launcher.h"

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

Arguments ParseArguments(const std::vector<std::string>& given) {
    Arguments arguments;
    bool optionsEnded = false;
    const std::size_t count = given.size();
    for (std::size_t i = 0; i < count && arguments.error.empty(); ++i) {
        const std::string_view argument = given[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            arguments.images.emplace_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            arguments.help = true;
        } else if (argument == "--version") {
            arguments.version = true;
        } else if (argument == "--extra" && i + 1 < count) {
            arguments.extras.push_back(given[++i]);
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
    velkor::SetEnvironmentValue(variable, velkor::EncodeImageList(absolute));
}

// Opens the tool's window and returns when it closes; 1 when the library cannot be loaded.
int OpenTool() {
    const std::string library = velkor::ProgramDirectory() + "/" + velkor::kLibraryFileName;
    std::string reason;
    const velkor::LibraryEntry winhex = velkor::LoadLibraryEntry(library, "winhex", reason);
    if (winhex == nullptr) {
        std::fprintf(stderr, "velkor: cannot use %s: %s\n", library.c_str(), reason.c_str());
        return 1;
    }
    winhex();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = ParseArguments(velkor::LauncherArguments(argc, argv));
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
