#include "platform/bytes.h"

#include <cstring>

namespace velkor {

ByteSet BytesOf(std::string_view text) { return ByteSet(text.begin(), text.end()); }

namespace {

// The needle byte to skip to: 00 and FF fill slack space and stuff compressed
// data, so a needle's other bytes are much rarer in what is searched.
std::size_t AnchorOf(ByteView needle) {
    for (std::size_t i = 0; i < needle.size(); ++i) {
        if (needle[i] != 0x00 && needle[i] != 0xFF) return i;
    }
    return 0;
}

}  // namespace

std::int64_t FindBytes(ByteView haystack, ByteView needle, std::int64_t from) {
    if (from < 0 || needle.empty() || static_cast<std::uint64_t>(from) > haystack.size()) return -1;
    if (haystack.size() - static_cast<std::size_t>(from) < needle.size()) return -1;
    const std::size_t anchor = AnchorOf(needle);
    const std::uint8_t* const first = haystack.data() + from;
    const std::uint8_t* const last = haystack.data() + haystack.size() - needle.size();
    // memchr skips to the anchor byte far faster than a general substring search.
    for (const std::uint8_t* at = first + anchor; at <= last + anchor;) {
        at = static_cast<const std::uint8_t*>(std::memchr(at, needle[anchor], static_cast<std::size_t>(last + anchor - at) + 1));
        if (at == nullptr) return -1;
        const std::uint8_t* const start = at - anchor;
        if (std::memcmp(start, needle.data(), needle.size()) == 0) return start - haystack.data();
        ++at;
    }
    return -1;
}

void GrowableBuffer::Clear() { bytes_.clear(); }


void GrowableBuffer::Append(ByteView bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }


std::int64_t GrowableBuffer::Find(ByteView needle) const {
    const std::int64_t at = FindBytes(bytes_, needle);
    return at < 0 ? -1 : at + 1;
}

}  // namespace velkor
