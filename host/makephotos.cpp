// velkor-makephotos DIR COUNT [SEED]: writes COUNT synthesised photographs into DIR
// (photo_01.jpg, ...), in the codings cameras use, for the demo card and benchmarks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/photo_synth.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velkor-makephotos DIR COUNT [SEED]\n");
        return 2;
    }
    const std::string directory = argv[1];
    const int count = std::atoi(argv[2]);
    const auto seed = static_cast<std::uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1);
    for (int i = 0; i < count; ++i) {
        velkor::synth::JpegOptions options;
        options.seed = seed * 1000 + static_cast<std::uint32_t>(i);
        options.progressive = i % 4 == 3;
        options.exifThumbnail = i % 3 == 0;
        options.horizontalSampling = i % 5 == 4 ? 1 : 2;
        options.verticalSampling = i % 2 == 0 ? 2 : 1;
        const int width = 640 + 160 * (i % 6);
        const int height = width * 3 / 4;
        char name[32];
        std::snprintf(name, sizeof name, "/photo_%02d.jpg", i + 1);
        if (!velkor::WriteWholeFile(directory + name, velkor::synth::MakeJpeg(width, height, options))) {
            std::fprintf(stderr, "velkor-makephotos: cannot write %s%s\n", directory.c_str(), name);
            return 1;
        }
    }
    return 0;
}
