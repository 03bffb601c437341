#pragma once
// Where a candidate may end: the cut lengths worth judging within the bytes that
// follow its start signature, found one at a time so that a first cut the
// validator accepts costs no search beyond it.
#include <cstdint>
#include <optional>
#include <set>

#include "platform/bytes.h"

namespace velkor {

// How many further cuts are tried when the validator rejects the first one,
// at end markers (FF D9 00 00) and then at bare FF D9.
inline constexpr int kFurtherMarkerCuts = 4;
inline constexpr int kBareEndCuts = 4;

// Length in sectors of a cut whose end marker's first byte is at offset q: the
// cut ends with the sector holding the byte after it.
inline std::int64_t CutSectorsForMarkerAt(std::int64_t q) { return (q + 1) / 512 + 1; }

// Returns true when a sector slot begins with the JPEG start signature FF D8 FF.
bool BeginsCandidate(ByteView slot);

// Returns the first sectors x 512 bytes of reach, or all of reach when it is shorter.
ByteView CutBytes(ByteView reach, std::int64_t sectors);

// Returns the offset where the entropy-coded data of the picture's first scan
// begins (just past its start-of-scan header), found by walking the segments from
// the start marker; -1 when the walk does not reach one within bytes.
std::int64_t FirstScanDataOffset(ByteView bytes);

// Yields, in order, the first end marker's cut, the next end markers' cuts and
// then cuts after bare FF D9, all behind the first scan's start, each length once;
// lengths in tried are skipped and every length yielded is added to it.
class CutSeeker {
public:
    CutSeeker(ByteView reach, std::set<std::int64_t>& tried) : reach_(reach), tried_(tried) {}
    // Returns true when the reach holds an end marker (FF D9 00 00) anywhere; the
    // search is not repeated by Next().
    bool HasEndMarker();
    // Returns the next cut length in sectors, or nothing when no more are worth trying.
    std::optional<std::int64_t> Next();

private:
    bool NextPhase();

    ByteView reach_;
    std::set<std::int64_t>& tried_;
    int phase_ = 0;  // 0: end markers, 1: bare ends, 2: done
    int taken_ = 0;
    std::int64_t from_ = 0;
    std::optional<std::int64_t> firstMarker_;  // where HasEndMarker found it (-1: nowhere)
    std::optional<std::int64_t> scanData_;     // where the first scan's data begins (-1: not within reach)
};

}  // namespace velkor
