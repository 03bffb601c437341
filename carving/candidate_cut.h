#pragma once
// Where a candidate may end: the one cut of it worth judging within the bytes that
// follow its start signature, and the end-marker searches that consecutive
// candidates share.
#include <cstdint>
#include <optional>

#include "carving/picture_walk.h"
#include "platform/bytes.h"

namespace velkor {

// Length in sectors of a cut whose end marker's first byte is at offset q: the
// cut ends with the sector holding the byte after it.
inline std::int64_t CutSectorsForMarkerAt(std::int64_t q) { return (q + 1) / 512 + 1; }

// The validator reads a picture's headers up to its first scan; headers longer than
// this are not a photo's, and reading them for every start of a hostile run of
// segments would cost time in proportion to the square of its length.
inline constexpr std::int64_t kMaxHeaderBytes = std::int64_t{1} << 20;

// Returns true when a sector slot begins with the JPEG start signature FF D8 FF.
bool BeginsCandidate(ByteView slot);

// Returns the first sectors x 512 bytes of reach, or all of reach when it is shorter.
ByteView CutBytes(ByteView reach, std::int64_t sectors);

// Returns the offset where the entropy-coded data of the picture's first scan
// begins (just past its start-of-scan header), found by walking the segments from
// the start marker; -1 when the walk does not reach one within bytes, or within as
// many segments as a picture walk takes.
std::int64_t FirstScanDataOffset(ByteView bytes);

// Finds one byte pattern in a drive's bytes and remembers what the last search
// found, so that the searches of candidates starting one after another cover the
// bytes they share once: a run of starts without an end costs one pass, not one
// pass per start. Offsets are the drive's byte offsets.
class MarkerSearch {
public:
    explicit MarkerSearch(ByteSet pattern) : pattern_(std::move(pattern)) {}

    // What earlier searches tell of the first pattern at or after from.
    struct Known {
        std::int64_t found = -1;  // where it begins; -1 when not found yet
        std::int64_t clearTo = 0;  // when not found: none begins in from ... clearTo - 1
    };
    Known KnownFrom(std::int64_t from);

    // Returns where the first pattern at or after from begins, when it lies wholly in
    // view, which holds the drive's bytes from offset at on (at <= from); -1 otherwise.
    std::int64_t Find(ByteView view, std::int64_t at, std::int64_t from);

    std::int64_t PatternSize() const { return static_cast<std::int64_t>(pattern_.size()); }

private:
    ByteSet pattern_;
    std::int64_t from_ = -1;   // the last search began here,
    std::int64_t found_ = -1;  // found the first pattern here (-1: none yet),
    std::int64_t clearTo_ = -1;  // and saw none begin before here
};

// The two searches a scan shares between its candidates.
struct EndSearches {
    MarkerSearch endMarkers{{0xFF, 0xD9, 0x00, 0x00}};
    MarkerSearch bareEnds{{0xFF, 0xD9}};
};

// Finds the one cut of a candidate worth judging. The validator's verdict depends
// only on the headers it reads, so every cut that holds them gets the verdict of
// the first: that one is judged, and cuts that end before the headers do (an
// embedded thumbnail's end, even with zeros behind it) never are. The end-marker
// cut comes first, then the cut after a bare FF D9 behind the first scan's start.
// The search begins where the walk of the picture's structure stopped: coded data
// holds no end marker, so the one pass of the walk spares the search its bytes.
class CutFinder {
public:
    // reach holds the drive's bytes from offset at on, beginning with the candidate's
    // start signature; walk, when given, is the walk of reach done beforehand.
    CutFinder(ByteView reach, std::int64_t at, EndSearches& searches, std::optional<PictureWalk> walk = std::nullopt)
        : reach_(reach), at_(at), searches_(searches), walk_(std::move(walk)) {}

    // The cut's length in sectors; nothing when no cut within reach holds the headers.
    std::optional<std::int64_t> FirstCut();

    // True when the validator's reading of the headers ends within reach (as far as
    // kMaxHeaderBytes), so that a cut beyond reach would hold them too.
    bool HeadersEndWithin();

    // The walk of the picture's structure through reach.
    const PictureWalk& Walk();

private:
    std::optional<std::int64_t> FirstCutAfter(MarkerSearch& search, std::int64_t from);
    std::int64_t ScanData();
    std::int64_t HeaderLength();

    ByteView reach_;
    std::int64_t at_;
    EndSearches& searches_;
    std::optional<std::int64_t> scanData_;      // where the first scan's data begins (-1: not within reach)
    std::optional<std::int64_t> headerLength_;  // the bytes the validator reads (-1: more than reach)
    std::optional<PictureWalk> walk_;
};

}  // namespace velkor
