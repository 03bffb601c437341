#include "platform/jpeg_headers.h"

#include <algorithm>
#include <functional>

namespace velkor {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Restart markers and TEM carry no length; libjpeg passes over them in the headers.
bool IsStandalone(std::uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

// Segments libjpeg skips by their length (application data, comments, DNL); a length
// below 2 skips nothing there, where any other segment's ends the reading.
bool IsSkippedByLength(std::uint8_t code) { return (code >= 0xE0 && code <= 0xEF) || code == 0xFE || code == 0xDC; }

// Start-of-frame markers: C0 to CF but the Huffman table, the reserved JPG and the arithmetic table.
bool IsFrame(std::uint8_t code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }

// The offset of the code byte of the next marker at or after at; -1 when bytes end first.
std::int64_t NextMarker(ByteView bytes, std::int64_t at) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    for (;;) {
        while (at < size && bytes[static_cast<std::size_t>(at)] != 0xFF) ++at;
        while (at < size && bytes[static_cast<std::size_t>(at)] == 0xFF) ++at;
        if (at >= size) return -1;
        // FF 00 is a stuffed data byte, not a marker: the search goes on behind it.
        if (bytes[static_cast<std::size_t>(at)] != 0x00) return at;
    }
}

// Walks the segments to the first scan as HeadersEnd describes, telling seen of each whole
// segment before it (its marker's code byte offset and its length); returns HeadersEnd's answer.
std::int64_t WalkHeaders(ByteView bytes, const std::function<void(std::int64_t code, std::int64_t length)>& seen) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return -1;
    // Each step moves on by at least one byte, so the walk ends on any input.
    for (std::int64_t at = 2;;) {
        const std::int64_t code = NextMarker(bytes, at);
        if (code < 0) return -1;
        const std::uint8_t marker = bytes[static_cast<std::size_t>(code)];
        // A second start, or an end before any scan, leaves libjpeg without a picture.
        if (marker == kStartOfImage || marker == kEndOfImage) return -1;
        if (IsStandalone(marker)) {
            at = code + 1;
            continue;
        }
        if (code + 2 >= size) return -1;
        const std::int64_t length = bytes[static_cast<std::size_t>(code) + 1] << 8 | bytes[static_cast<std::size_t>(code) + 2];
        if (length < 2 && IsSkippedByLength(marker)) {
            at = code + 3;
            continue;
        }
        const std::int64_t end = code + 1 + length;
        // Past the data libjpeg reads the end marker it feeds there: a scan header cut short
        // is finished with those bytes, so the whole bytes are its headers.
        if (marker == kStartOfScan && length >= 2) return std::min(end, size);
        if (length < 2 || end > size) return -1;
        seen(code, length);
        at = end;
    }
}

}  // namespace

std::int64_t HeadersEnd(ByteView bytes) {
    return WalkHeaders(bytes, [](std::int64_t, std::int64_t) {});
}

std::optional<DeclaredSize> DeclaredFrameSize(ByteView bytes) {
    std::optional<DeclaredSize> declared;
    const auto byte = [&](std::int64_t at) -> std::int64_t { return bytes[static_cast<std::size_t>(at)]; };
    const std::int64_t end = WalkHeaders(bytes, [&](std::int64_t code, std::int64_t length) {
        // Precision, then the height and the width, each in two bytes.
        if (declared || !IsFrame(static_cast<std::uint8_t>(byte(code))) || length < 7) return;
        declared = DeclaredSize{byte(code + 6) << 8 | byte(code + 7), byte(code + 4) << 8 | byte(code + 5), code + 4};
    });
    return end < 0 ? std::nullopt : declared;
}

}  // namespace velkor
