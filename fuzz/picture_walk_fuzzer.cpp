// The structure walk on arbitrary bytes: every offset it returns lies inside them (what
// the picture declares behind its end within the caps), it agrees with the first-scan
// search of the cut, and it decides nothing before the byte where it stopped: every
// shorter prefix runs out of data, and a complete picture walks the same alone.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "carving/candidate_cut.h"
#include "carving/picture_walk.h"

namespace {

using velkor::PictureEnd;
using velkor::PictureWalk;

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckOffsets(velkor::ByteView bytes, const PictureWalk& walk) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    Require(walk.stopAt >= 0 && walk.stopAt <= size);
    Require((walk.end == PictureEnd::kComplete) == (walk.eoiEnd >= 0));
    if (walk.eoiEnd >= 0) {
        Require(walk.eoiEnd >= 4 && walk.eoiEnd <= size && walk.stopAt == walk.eoiEnd);
        Require(bytes[static_cast<std::size_t>(walk.eoiEnd) - 2] == 0xFF &&
                bytes[static_cast<std::size_t>(walk.eoiEnd) - 1] == 0xD9);
    }
    Require(walk.scans >= 0 && walk.scans <= velkor::kMaxWalkScans &&
            (walk.scans > 0) == (walk.firstScanData >= 0));
    Require(walk.firstScanData >= -1 && walk.firstScanData <= size);
    if (walk.firstScanData >= 0) Require(walk.firstScanData == velkor::FirstScanDataOffset(bytes));
}

void CheckDeclared(const PictureWalk& walk) {
    Require(walk.indexedImages >= 0 && (walk.indexedImages == 0 || walk.mpfIndex));
    Require((walk.declaredEnd >= 0) == (walk.indexedImages > 0 || walk.motionPhoto));
    if (walk.declaredEnd < 0) return;
    const std::int64_t cap =
        walk.eoiEnd >= 0 ? std::max(velkor::kMaxIndexedImagesEnd, walk.eoiEnd + velkor::kMaxTrailingItems)
                         : velkor::kMaxIndexedImagesEnd;
    Require(walk.declaredEnd > walk.eoiEnd && walk.declaredEnd <= cap);
    Require(!walk.motionPhoto || walk.eoiEnd >= 0);
}

void CheckPrefixes(velkor::ByteView bytes, const PictureWalk& walk) {
    for (const std::int64_t cut : {walk.stopAt - 1, walk.stopAt / 2}) {
        if (cut < 0 || cut >= walk.stopAt) continue;
        Require(velkor::WalkPicture(bytes.first(static_cast<std::size_t>(cut))).end == PictureEnd::kDataEnds);
    }
    if (walk.eoiEnd < 0) return;
    const PictureWalk alone = velkor::WalkPicture(bytes.first(static_cast<std::size_t>(walk.eoiEnd)));
    Require(alone.end == PictureEnd::kComplete && alone.eoiEnd == walk.eoiEnd && alone.scans == walk.scans &&
            alone.firstScanData == walk.firstScanData);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::ByteView bytes(data, size);
    const PictureWalk walk = velkor::WalkPicture(bytes);
    CheckOffsets(bytes, walk);
    CheckDeclared(walk);
    CheckPrefixes(bytes, walk);
    return 0;
}
