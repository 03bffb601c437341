#pragma once
// Where a JPEG picture ends, found by walking its structure from the start marker:
// segments by their lengths, coded data by its markers, up to the end marker that
// closes the picture; and what the picture itself declares to lie behind that end.
#include <cstdint>

#include "platform/bytes.h"

namespace velkor {

// The most a walk believes of what a picture declares behind its end: the images of
// a multi-picture index end within 128 MiB of the start marker, and the items a
// motion photo lays behind the end marker take 512 MiB at most.
inline constexpr std::int64_t kMaxIndexedImagesEnd = std::int64_t{128} << 20;
inline constexpr std::int64_t kMaxTrailingItems = std::int64_t{512} << 20;

// A walk gives up on a picture with more scans or more segments than these.
inline constexpr int kMaxWalkScans = 2000;
inline constexpr int kMaxWalkSegments = 100000;

// How a walk ended.
enum class PictureEnd {
    kComplete,                // reached the end marker (FF D9) that closes the picture
    kRunsIntoAnotherPicture,  // met a start marker (FF D8) first
    kImpossibleMarker,        // met a byte or marker that cannot stand there, or too many scans or segments
    kDataEnds,                // the bytes ran out first
};

// What a walk found; offsets count from the start marker.
struct PictureWalk {
    PictureEnd end = PictureEnd::kDataEnds;
    // Offset of the first byte not taken as the picture's: eoiEnd when complete, the FF of
    // the marker (or the byte) that stopped the walk, or the size when the bytes ran out.
    std::int64_t stopAt = 0;
    std::int64_t eoiEnd = -1;         // just past the FF D9 that closes the picture; -1 when not reached
    std::int64_t firstScanData = -1;  // where the first scan's coded data begins; -1 when not reached
    // Just past what the picture declares behind its end marker (further images of its MPF
    // index, the items of a motion photo), always beyond eoiEnd and within the caps above; -1
    // when nothing is declared.
    std::int64_t declaredEnd = -1;
    int scans = 0;             // start-of-scan segments taken
    bool mpfIndex = false;     // an MPF segment with a readable MP Entry list was met
    int indexedImages = 0;     // further images of that list believed (each counts towards declaredEnd)
    bool motionPhoto = false;  // the XMP declared items behind the end marker and they were believed
};

// Walks bytes, which should begin with FF D8, from the start; never reads outside them.
// Bytes that do not begin with FF D8 give kImpossibleMarker at 0 (kDataEnds when shorter than 2).
PictureWalk WalkPicture(ByteView bytes);

}  // namespace velkor
