#pragma once
// Where a JPEG's headers end, found the way libjpeg's marker reader finds its
// markers, so that a reader handed only the headers sees what libjpeg sees.
#include <cstdint>

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

}  // namespace velkor
