#pragma once
// Synthesised JPEG photographs for tests, benchmarks and the demo card: gradients
// and seeded patterns in the codings cameras use, encoded by libjpeg-turbo on Linux
// and by the Windows Imaging Component on Windows.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace velkor::synth {

struct JpegOptions {
    bool progressive = false;
    bool grayscale = false;
    int quality = 85;
    int horizontalSampling = 2;  // of the luma component: 2x2 is 4:2:0, 2x1 4:2:2, 1x1 4:4:4
    int verticalSampling = 2;
    int restartRows = 0;         // restart interval in MCU rows, 0 for none
    bool exifThumbnail = false;  // an APP1 segment holding a small JPEG of its own
    int thumbnailPadding = 0;    // zero bytes after the thumbnail inside that segment
    std::uint32_t seed = 1;      // varies the synthesised content
};

// Whether this system's encoder writes the coding of options: Windows's writes baseline
// JPEG only, without restart markers (and under Wine, only its own subsampling and quality).
bool CanEncode(const JpegOptions& options);

// Encodes a synthesised picture of the given size.
ByteSet MakeJpeg(int width, int height, const JpegOptions& options = {});

// Encodes rgb (width x height pixels of 3 bytes, row by row) with the coding of options; a grayscale
// coding keeps the luma. The picture itself is the caller's, so exifThumbnail and seed do not apply.
ByteSet EncodePixels(const std::vector<std::uint8_t>& rgb, int width, int height, const JpegOptions& options);

// Inserts comment segments after the start marker so the picture is exactly size bytes long
// (at least 4 bytes longer than it was).
ByteSet PadJpegTo(ByteSet jpeg, std::size_t size);

}  // namespace velkor::synth
