// velkor-makephotos DIR COUNT [SEED]: writes COUNT synthesised photographs into DIR
// (photo_01.jpg, ...), in the codings cameras use, for the demo card and benchmarks.
// velkor-makephotos --photo OUT.jpg WIDTHxHEIGHT [options]: writes one camera-like photograph
// of a synthesised scene, for the benchmark cards (see Usage).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/camera_scene.h"
#include "host/photo_synth.h"
#include "platform/files.h"

namespace {

constexpr const char* kUsage =
    "usage: velkor-makephotos DIR COUNT [SEED]\n"
    "       velkor-makephotos --photo OUT.jpg WIDTHxHEIGHT [--seed N] [--quality Q] [--grain LEVELS]\n"
    "                         [--sampling 420|422|444] [--progressive] [--grayscale] [--restart ROWS]\n"
    "                         [--imprint TEXT] [--thumbnail THUMB.jpg]\n"
    "  --thumbnail also writes a 160x120 (120x160 upright) picture of the same scene for an EXIF thumbnail.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool Write(const std::string& path, const velkor::ByteSet& bytes) {
    if (velkor::WriteWholeFile(path, bytes)) return true;
    std::fprintf(stderr, "velkor-makephotos: cannot write %s\n", path.c_str());
    return false;
}

int MakeLandscapes(const std::string& directory, int count, std::uint32_t seed) {
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
        if (!Write(directory + name, velkor::synth::MakeJpeg(width, height, options))) return 1;
    }
    return 0;
}

struct PhotoRequest {
    std::string path;
    std::string thumbnailPath;
    int width = 0;
    int height = 0;
    velkor::synth::JpegOptions coding;
    velkor::synth::SceneOptions scene;
};

// Sets the luma sampling factors for a chroma subsampling named as cameras name it; false for others.
bool SetSampling(velkor::synth::JpegOptions& coding, const std::string& name) {
    if (name == "420") coding.horizontalSampling = 2, coding.verticalSampling = 2;
    else if (name == "422") coding.horizontalSampling = 2, coding.verticalSampling = 1;
    else if (name == "444") coding.horizontalSampling = 1, coding.verticalSampling = 1;
    else return false;
    return true;
}

// Reads the --photo form's arguments; false when they do not make a request.
bool ParsePhotoRequest(int argc, char** argv, PhotoRequest& request) {
    if (argc < 4 || std::sscanf(argv[3], "%dx%d", &request.width, &request.height) != 2) return false;
    request.path = argv[2];
    request.coding.quality = 92;
    for (int i = 4; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--progressive") request.coding.progressive = true;
        else if (option == "--grayscale") request.coding.grayscale = true;
        else if (!hasValue) return false;
        else if (option == "--seed") request.scene.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (option == "--quality") request.coding.quality = std::atoi(argv[++i]);
        else if (option == "--grain") request.scene.grain = std::atoi(argv[++i]);
        else if (option == "--restart") request.coding.restartRows = std::atoi(argv[++i]);
        else if (option == "--imprint") request.scene.imprint = argv[++i];
        else if (option == "--thumbnail") request.thumbnailPath = argv[++i];
        else if (option == "--sampling") {
            if (!SetSampling(request.coding, argv[++i])) return false;
        } else return false;
    }
    return request.width >= 16 && request.height >= 16 && request.width <= 12000 && request.height <= 12000 &&
           request.coding.quality >= 1 && request.coding.quality <= 100;
}

int MakePhoto(const PhotoRequest& request) {
    using namespace velkor::synth;
    if (!Write(request.path, EncodePixels(RenderScene(request.width, request.height, request.scene), request.width,
                                          request.height, request.coding))) {
        return 1;
    }
    if (request.thumbnailPath.empty()) return 0;
    // Cameras store the thumbnail in the frame's orientation, baseline 4:2:0, at a modest quality.
    const bool upright = request.height > request.width;
    const int width = upright ? 120 : 160, height = upright ? 160 : 120;
    SceneOptions small = request.scene;
    small.grain = 1;
    small.imprint.clear();
    JpegOptions coding;
    coding.quality = 75;
    coding.grayscale = request.coding.grayscale;
    return Write(request.thumbnailPath, EncodePixels(RenderScene(width, height, small), width, height, coding)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--photo") == 0) {
        PhotoRequest request;
        return ParsePhotoRequest(argc, argv, request) ? MakePhoto(request) : Usage();
    }
    if (argc < 3) return Usage();
    return MakeLandscapes(argv[1], std::atoi(argv[2]), static_cast<std::uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1));
}
