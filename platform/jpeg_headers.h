#pragma once
// Where a JPEG's headers end, found the way libjpeg's marker reader finds its
// markers, so that a reader handed only the headers sees what libjpeg sees.
#include <cstdint>
#include <optional>

#include "platform/bytes.h"

namespace velkor {

// Returns the offset just past the first start-of-scan segment (where its coded data
// begins), walking segments by their lengths from the start marker and, as libjpeg
// does, skipping stray bytes and fill bytes before a marker and passing over an
// application segment or comment whose length is below 2; -1 when bytes do not begin
// with FF D8, end first, or hold a second start or an end before any scan. Bytes that end
// inside the first scan's header (after its length) give their own size, as libjpeg
// finishes that header with the end marker it reads past the data.
std::int64_t HeadersEnd(ByteView bytes);

// The size a frame header declares, read from the bytes alone.
struct DeclaredSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t heightAt = 0;  // where its two bytes of height lie, followed by the two of width
};

// Returns the size the first frame header (any start-of-frame marker) declares, found on
// the same walk as HeadersEnd; nullopt when the walk fails or reaches the first scan
// without a whole frame header. A decoder that allocates a whole frame when it opens one
// is only handed bytes whose declared size has been checked first.
std::optional<DeclaredSize> DeclaredFrameSize(ByteView bytes);

}  // namespace velkor
