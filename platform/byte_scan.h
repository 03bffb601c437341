#pragma once
// A search for one byte value that asks the caller about every occurrence: in compressed
// data a value like FF recurs every hundred bytes or so, where a memchr call per
// occurrence costs more than the search itself.
#include <cstdint>

#include "platform/bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkor {

// Returns the first offset at or after from where bytes holds value and stop(offset) is
// true; the size of bytes when there is none. Offsets are offered in ascending order.
template <typename Stop>
std::int64_t FindByteWhere(ByteView bytes, std::int64_t from, std::uint8_t value, Stop stop) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    std::int64_t at = from < 0 ? 0 : from;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    for (; at + 16 <= size; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
        for (auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted))); hits != 0;
             hits &= hits - 1) {
            const std::int64_t hit = at + __builtin_ctz(hits);
            if (stop(hit)) return hit;
        }
    }
#endif
    for (; at < size; ++at) {
        if (bytes[static_cast<std::size_t>(at)] == value && stop(at)) return at;
    }
    return size;
}

}  // namespace velkor
