#include "carving/dimension_probe.h"

#include <algorithm>

namespace velkor {
namespace {

constexpr std::int64_t kShortestProbed = 55;

bool StartsWith(ByteView bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

std::int32_t ReadLittleEndian32(ByteView data, std::size_t offset) {
    const std::uint32_t value = static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
                                static_cast<std::uint32_t>(data[offset + 2]) << 16 |
                                static_cast<std::uint32_t>(data[offset + 3]) << 24;
    return static_cast<std::int32_t>(value);
}

std::int32_t ReadLittleEndian16(ByteView data, std::size_t offset) {
    return static_cast<std::int32_t>(data[offset] | data[offset + 1] << 8);
}

ProbedSize ProbeJpeg(ByteView bytes) {
    const ByteView window = bytes.first(static_cast<std::size_t>(JpegSearchWindow(static_cast<std::int64_t>(bytes.size()))));
    const std::int64_t p = FindBytes(window, ByteSet{0xFF, 0xC0});
    if (p < 0) return {};
    return {ReadBigEndian16(window, p + 7), ReadBigEndian16(window, p + 5)};
}

}  // namespace

std::int64_t JpegSearchWindow(std::int64_t length) {
    if (length > 10000) return 10000;
    if (length > 5000) return 5000;
    if (length > 1000) return 1000;
    if (length > 500) return 500;
    return std::min<std::int64_t>(300, length);
}

std::int32_t ReadBigEndian32(ByteView data, std::int64_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) + 4 > data.size()) return 0;
    const auto at = static_cast<std::size_t>(offset);
    const std::uint32_t value = static_cast<std::uint32_t>(data[at]) << 24 | static_cast<std::uint32_t>(data[at + 1]) << 16 |
                                static_cast<std::uint32_t>(data[at + 2]) << 8 | static_cast<std::uint32_t>(data[at + 3]);
    return static_cast<std::int32_t>(value);
}

std::int32_t ReadBigEndian16(ByteView data, std::int64_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) + 2 > data.size()) return -1;
    const auto at = static_cast<std::size_t>(offset);
    return static_cast<std::int32_t>(data[at] << 8 | data[at + 1]);
}

ProbedSize ProbeImageSize(ByteView bytes) {
    if (static_cast<std::int64_t>(bytes.size()) < kShortestProbed) return {};
    if (StartsWith(bytes, {0x42, 0x4D})) return {ReadLittleEndian32(bytes, 18), ReadLittleEndian32(bytes, 22)};
    if (StartsWith(bytes, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A})) {
        return {ReadBigEndian32(bytes, 16), ReadBigEndian32(bytes, 20)};
    }
    if (StartsWith(bytes, {0x47, 0x49, 0x46, 0x38, 0x39, 0x61})) {
        return {ReadLittleEndian16(bytes, 6), ReadLittleEndian16(bytes, 8)};
    }
    if (StartsWith(bytes, {0xFF, 0xD8, 0xFF})) return ProbeJpeg(bytes);
    return {};
}

}  // namespace velkor
