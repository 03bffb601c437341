#pragma once
// Width and height of a BMP, PNG, GIF89a or baseline JPEG from its header, without decoding it.
#include <cstdint>

#include "platform/bytes.h"

namespace velkor {

struct ProbedSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The picture's size as its header states it; 0 x 0 for 54 bytes or fewer or an
// unknown format; -1 for a JPEG dimension whose bytes lie outside the search window;
// 0 x 0 for a JPEG without a baseline frame marker in the window.
ProbedSize ProbeImageSize(ByteView bytes);

// The JPEG search window's length for a picture of length bytes.
std::int64_t JpegSearchWindow(std::int64_t length);

// The four bytes at offset as a big-endian number, wrapping to negative at 2^31; 0 outside data.
std::int32_t ReadBigEndian32(ByteView data, std::int64_t offset);

// The two bytes at offset as a big-endian number; -1 when offset + 1 is outside data.
std::int32_t ReadBigEndian16(ByteView data, std::int64_t offset);

}  // namespace velkor
