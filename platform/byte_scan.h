#pragma once
// A search for one byte value that asks the caller about every occurrence, for
// searches that stop at the first occurrence with some property of its own.
#include <cstdint>
#include <cstring>

#include "platform/bytes.h"

namespace velkor {

// Returns the first offset at or after from where bytes holds value and stop(offset) is
// true; the size of bytes when there is none. Offsets are offered in ascending order.
template <typename Stop>
std::int64_t FindByteWhere(ByteView bytes, std::int64_t from, std::uint8_t value, Stop stop) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t at = from < 0 ? 0 : from; at < size; ++at) {
        const void* found = std::memchr(bytes.data() + at, value, static_cast<std::size_t>(size - at));
        if (found == nullptr) break;
        at = static_cast<const std::uint8_t*>(found) - bytes.data();
        if (stop(at)) return at;
    }
    return size;
}

}  // namespace velkor
