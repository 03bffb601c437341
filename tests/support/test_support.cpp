#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include <jpeglib.h>

namespace velkor::testing {
namespace {

void Require(bool condition, const std::string& what) {
    if (!condition) throw std::runtime_error(what);
}

std::uint8_t Pixel(int x, int y, int channel, std::uint32_t seed) {
    // Gradients with a seeded pattern: compressible like a photo, different per seed.
    const std::uint32_t noise = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                                (static_cast<std::uint32_t>(y) * 40503u) ^ (seed * 2246822519u);
    const int base = (x * (channel + 1) + y * (3 - channel) + static_cast<int>(seed * 37)) & 0xFF;
    return static_cast<std::uint8_t>((base + ((noise >> 13) & 0x1F)) & 0xFF);
}

ByteSet Encode(int width, int height, const JpegOptions& options, const ByteSet& app1) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = options.grayscale ? 1 : 3;
    info.in_color_space = options.grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (!options.grayscale) {
        info.comp_info[0].h_samp_factor = options.horizontalSampling;
        info.comp_info[0].v_samp_factor = options.verticalSampling;
    }
    if (options.progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = options.restartRows;
    info.write_JFIF_header = app1.empty() ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    if (!app1.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * static_cast<std::size_t>(info.input_components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < info.input_components; ++c) {
                row[static_cast<std::size_t>(x * info.input_components + c)] = Pixel(x, y, c, options.seed);
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    ByteSet bytes(out, out + outSize);
    std::free(out);
    jpeg_destroy_compress(&info);
    return bytes;
}

// An EXIF-like APP1 payload carrying a small JPEG thumbnail.
ByteSet ExifWithThumbnail(std::uint32_t seed) {
    JpegOptions small;
    small.seed = seed + 7;
    small.quality = 70;
    const ByteSet thumbnail = Encode(160, 120, small, {});
    ByteSet payload = BytesOf(std::string_view("Exif\0\0", 6));
    payload.insert(payload.end(), thumbnail.begin(), thumbnail.end());
    return payload;
}

}  // namespace

ScratchDir::ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velkor-test-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

ByteSet MakeJpeg(int width, int height, const JpegOptions& options) {
    return Encode(width, height, options, options.exifThumbnail ? ExifWithThumbnail(options.seed) : ByteSet{});
}

std::string BuildProgramDirectory() { return VELKOR_BIN_DIR; }

void CopyDeliverable(const std::string& name, const std::string& directory) {
    std::filesystem::copy_file(BuildProgramDirectory() + "/" + name, directory + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
}

void PlaceBytes(const std::string& path, std::int64_t offset, ByteView bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    Require(fd >= 0, "cannot open " + path);
    const ssize_t wrote = pwrite(fd, bytes.data(), bytes.size(), offset);
    close(fd);
    Require(wrote == static_cast<ssize_t>(bytes.size()), "short write to " + path);
}

void SizeFile(const std::string& path, std::int64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    Require(fd >= 0, "cannot open " + path);
    const int result = ftruncate(fd, size);
    close(fd);
    Require(result == 0, "cannot size " + path);
}

std::string FileFingerprint(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    Require(file != nullptr, "cannot read " + path);
    std::uint64_t hash = 1469598103934665603ull;
    std::uint64_t size = 0;
    unsigned char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
        size += got;
    }
    std::fclose(file);
    return std::to_string(size) + ":" + std::to_string(hash);
}

}  // namespace velkor::testing
