#include "host/photo_synth.h"

#include "host/photo_encode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkor::synth {
namespace {

void Require(bool condition, const std::string& what) {
    if (!condition) throw std::runtime_error(what);
}

// A landscape: sky gradient, a sun, rolling hills and fine grain, all varied by
// seed, so pictures compress like photographs and differ from one another.
std::uint8_t Pixel(int x, int y, int width, int height, int channel, std::uint32_t seed) {
    const double fx = static_cast<double>(x) / width;
    const double fy = static_cast<double>(y) / height;
    const double phase = static_cast<double>(seed % 97) * 0.37;
    const double ridge = 0.55 + 0.08 * std::sin(fx * 7.0 + phase) + 0.04 * std::sin(fx * 23.0 + 2 * phase);
    const double sunX = 0.2 + 0.6 * static_cast<double>(seed % 13) / 13.0;
    const double sunDistance = std::hypot((fx - sunX) * width / height, fy - 0.22);
    double rgb[3];
    if (sunDistance < 0.08) {
        rgb[0] = 255, rgb[1] = 240, rgb[2] = 180;
    } else if (fy < ridge) {
        rgb[0] = 70 + 110 * fy, rgb[1] = 120 + 90 * fy, rgb[2] = 225 - 40 * fy;
    } else {
        const double depth = (fy - ridge) / (1.0 - ridge + 1e-9);
        rgb[0] = 60 + 50 * depth + 20 * std::sin(fx * 40 + phase);
        rgb[1] = 140 - 60 * depth;
        rgb[2] = 50 + 20 * depth;
    }
    const std::uint32_t noise = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                                (static_cast<std::uint32_t>(y) * 40503u) ^ (seed * 2246822519u);
    const double grain = static_cast<double>((noise >> 13) & 0x0F) - 7.5;
    return static_cast<std::uint8_t>(std::clamp(rgb[channel] + grain, 0.0, 255.0));
}

// The rows of the seeded landscape, channel by channel.
RowFiller LandscapeRows(int width, int height, std::uint32_t seed) {
    return [=](int y, int components, std::uint8_t* row) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) row[x * components + c] = Pixel(x, y, width, height, c, seed);
        }
    };
}

// An EXIF-like APP1 payload carrying a small JPEG thumbnail.
ByteSet ExifWithThumbnail(std::uint32_t seed, int padding) {
    JpegOptions small;
    small.seed = seed + 7;
    small.quality = 70;
    const ByteSet thumbnail = Encode(160, 120, small, {}, LandscapeRows(160, 120, small.seed));
    ByteSet payload = BytesOf(std::string_view("Exif\0\0", 6));
    payload.insert(payload.end(), thumbnail.begin(), thumbnail.end());
    payload.insert(payload.end(), static_cast<std::size_t>(padding), 0);
    return payload;
}

}  // namespace

ByteSet MakeJpeg(int width, int height, const JpegOptions& options) {
    return Encode(width, height, options, options.exifThumbnail ? ExifWithThumbnail(options.seed, options.thumbnailPadding) : ByteSet{},
                  LandscapeRows(width, height, options.seed));
}

ByteSet EncodePixels(const std::vector<std::uint8_t>& rgb, int width, int height, const JpegOptions& options) {
    Require(width > 0 && height > 0 && rgb.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3,
            "pixel buffer does not match the picture size");
    return Encode(width, height, options, {}, [&](int y, int components, std::uint8_t* row) {
        const std::uint8_t* source = rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        if (components == 3) {
            std::copy(source, source + static_cast<std::ptrdiff_t>(width) * 3, row);
            return;
        }
        for (int x = 0; x < width; ++x, source += 3) {
            row[x] = static_cast<std::uint8_t>((77 * source[0] + 150 * source[1] + 29 * source[2]) >> 8);
        }
    });
}

ByteSet PadJpegTo(ByteSet jpeg, std::size_t size) {
    Require(size >= jpeg.size() + 4, "cannot pad a JPEG to fewer bytes");
    ByteSet comments;
    std::size_t missing = size - jpeg.size();
    while (missing > 0) {
        // A segment costs 4 bytes of marker and length; never leave fewer than 4 for the next one.
        std::size_t segment = std::min<std::size_t>(missing, 65537);
        if (missing - segment > 0 && missing - segment < 4) segment -= 4;
        const std::size_t length = segment - 2;
        comments.insert(comments.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        comments.insert(comments.end(), segment - 4, 0x20);
        missing -= segment;
    }
    jpeg.insert(jpeg.begin() + 2, comments.begin(), comments.end());
    return jpeg;
}

}  // namespace velkor::synth
