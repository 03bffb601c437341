#pragma once
// Hostile JPEGs made by editing well-formed ones: a frame header that declares another
// size, a progressive picture with more scans. Header-only, so the fuzz seed generator
// (built without the test suites) can use it too.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/bytes.h"

namespace velkor::testing {

// Where the segments of a JPEG written by libjpeg lie.
struct JpegLayout {
    std::size_t frame = 0;                                   // offset of the SOF marker
    std::vector<std::pair<std::size_t, std::size_t>> scans;  // [SOS marker, end of its coded data)
    std::size_t end = 0;                                     // offset of the EOI marker
};

inline bool IsMarkerInsideCodedData(std::uint8_t second) {
    return second == 0x00 || (second >= 0xD0 && second <= 0xD7);
}

// Returns the layout of jpeg; throws std::runtime_error for bytes that are not a whole JPEG.
inline JpegLayout LayoutOf(const ByteSet& jpeg) {
    JpegLayout layout;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
        const std::uint8_t marker = jpeg[at + 1];
        std::size_t next = at + 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) layout.frame = at;
        if (marker == 0xDA) {
            while (next + 1 < jpeg.size() &&
                   !(jpeg[next] == 0xFF && !IsMarkerInsideCodedData(jpeg[next + 1])))
                ++next;
            layout.scans.emplace_back(at, next);
        }
        at = next;
    }
    if (at + 2 > jpeg.size() || jpeg[at] != 0xFF || jpeg[at + 1] != 0xD9 || layout.frame == 0 ||
        layout.scans.empty()) {
        throw std::runtime_error("not a whole JPEG");
    }
    layout.end = at;
    return layout;
}

// Returns jpeg with its frame header declaring width x height; the coded data stays as it was.
inline ByteSet WithFrameSize(ByteSet jpeg, int width, int height) {
    const std::size_t frame = LayoutOf(jpeg).frame;
    jpeg[frame + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[frame + 6] = static_cast<std::uint8_t>(height);
    jpeg[frame + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[frame + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

// Returns jpeg with its last scan repeated until it has scans scans (at least as many as it had).
inline ByteSet WithScanCount(const ByteSet& jpeg, int scans) {
    const JpegLayout layout = LayoutOf(jpeg);
    const auto [lastStart, lastEnd] = layout.scans.back();
    ByteSet edited(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(lastEnd));
    for (int i = static_cast<int>(layout.scans.size()); i < scans; ++i) {
        edited.insert(edited.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(lastStart),
                      jpeg.begin() + static_cast<std::ptrdiff_t>(lastEnd));
    }
    edited.insert(edited.end(), {0xFF, 0xD9});
    return edited;
}

}  // namespace velkor::testing
