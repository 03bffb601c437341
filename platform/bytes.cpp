#include "platform/bytes.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace velkor {

ByteSet BytesOf(std::string_view text) { return ByteSet(text.begin(), text.end()); }

std::int64_t FindBytes(ByteView haystack, ByteView needle, std::int64_t from) {
    if (from < 0 || needle.empty() || static_cast<std::uint64_t>(from) > haystack.size()) return -1;
    const auto rest = haystack.subspan(static_cast<std::size_t>(from));
    const void* hit = memmem(rest.data(), rest.size(), needle.data(), needle.size());
    if (hit == nullptr) return -1;
    return from + (static_cast<const std::uint8_t*>(hit) - rest.data());
}

void GrowableBuffer::Clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
}

void GrowableBuffer::Append(ByteView bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

void GrowableBuffer::Append(ByteSet&& bytes) {
    if (bytes_.empty()) {
        bytes_ = std::move(bytes);
        return;
    }
    Append(ByteView(bytes));
}

std::int64_t GrowableBuffer::Find(ByteView needle) const {
    const std::int64_t at = FindBytes(bytes_, needle);
    return at < 0 ? -1 : at + 1;
}

}  // namespace velkor
