#include "carving/candidate_cut.h"

#include <algorithm>

#include "carving/picture_walk.h"
#include "platform/picture_measure.h"

namespace velkor {
namespace {

const ByteSet kStartSignature = {0xFF, 0xD8, 0xFF};

bool IsStandaloneMarker(std::uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }

}  // namespace

std::int64_t FirstScanDataOffset(ByteView bytes) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    int segments = 0;
    // Each step moves on by at least one byte, so the walk ends on any input.
    for (std::int64_t at = 2; at + 4 <= size && segments < kMaxWalkSegments;) {
        if (bytes[static_cast<std::size_t>(at)] != 0xFF) return -1;
        const std::uint8_t code = bytes[static_cast<std::size_t>(at) + 1];
        if (code == 0xFF) {
            ++at;  // fill byte before a marker
            continue;
        }
        ++segments;
        if (IsStandaloneMarker(code)) {
            at += 2;
            continue;
        }
        const std::int64_t length = bytes[static_cast<std::size_t>(at) + 2] << 8 | bytes[static_cast<std::size_t>(at) + 3];
        if (length < 2) return -1;
        at += 2 + length;
        if (code == 0xDA) return at <= size ? at : -1;
    }
    return -1;
}

bool BeginsCandidate(ByteView slot) {
    return slot.size() >= kStartSignature.size() && std::equal(kStartSignature.begin(), kStartSignature.end(), slot.begin());
}

ByteView CutBytes(ByteView reach, std::int64_t sectors) {
    const auto bytes = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(sectors, 0)) * 512, reach.size());
    return reach.first(static_cast<std::size_t>(bytes));
}

MarkerSearch::Known MarkerSearch::KnownFrom(std::int64_t from) {
    const bool stale = from_ < 0 || from < from_ || (found_ >= 0 ? found_ < from : from > clearTo_);
    if (stale) {
        from_ = from;
        found_ = -1;
        clearTo_ = from;
    }
    return {found_, clearTo_};
}

std::int64_t MarkerSearch::Find(ByteView view, std::int64_t at, std::int64_t from) {
    const Known known = KnownFrom(from);
    const std::int64_t end = at + static_cast<std::int64_t>(view.size());
    if (known.found >= 0) return known.found + PatternSize() <= end ? known.found : -1;
    if (at > clearTo_) return -1;
    const std::int64_t q = FindBytes(view, pattern_, clearTo_ - at);
    if (q >= 0) return found_ = at + q;
    clearTo_ = std::max(clearTo_, end - PatternSize() + 1);
    return -1;
}

std::int64_t CutFinder::HeaderLength() {
    if (!headerLength_) {
        // A walk that reaches the first scan has followed the validator's own path through
        // the headers (or the validator stopped earlier, at an error), so its end is
        // where the verdict is settled; only headers the walk cannot follow need the reader.
        headerLength_ = ScanData() >= 0 ? ScanData()
                                        : MeasuredLength(reach_.first(std::min<std::size_t>(reach_.size(), kMaxHeaderBytes)));
    }
    return *headerLength_;
}

std::int64_t CutFinder::ScanData() {
    if (!scanData_) scanData_ = FirstScanDataOffset(reach_);
    return *scanData_;
}

bool CutFinder::HeadersEndWithin() { return HeaderLength() >= 0; }

std::optional<std::int64_t> CutFinder::FirstCutAfter(MarkerSearch& search, std::int64_t from) {
    for (std::int64_t found = search.Find(reach_, at_, at_ + from); found >= 0; found = search.Find(reach_, at_, found + 1)) {
        const std::int64_t q = found - at_;
        // An end marker before the first scan's data lies in the headers (an EXIF
        // thumbnail's end, even with zeros behind it): a cut there would keep the
        // headers and lose the photo.
        if (q < ScanData()) continue;
        const std::int64_t headers = HeaderLength();
        if (headers < 0) return std::nullopt;
        const std::int64_t sectors = CutSectorsForMarkerAt(q);
        if (static_cast<std::int64_t>(CutBytes(reach_, sectors).size()) >= headers) return sectors;
    }
    return std::nullopt;
}

const PictureWalk& CutFinder::Walk() {
    if (!walk_) walk_ = WalkPicture(reach_);
    return *walk_;
}

std::optional<std::int64_t> CutFinder::FirstCut() {
    // The walk stops at the end marker that closes the picture (two bytes before
    // stopAt) or where the structure breaks off; what it passed holds no end before
    // the first scan's data that counts, and none at all behind it.
    const std::int64_t walked = std::max<std::int64_t>(Walk().stopAt - 2, 0);
    if (const auto cut = FirstCutAfter(searches_.endMarkers, walked)) return cut;
    // A bare FF D9 before the first scan's data belongs to an embedded thumbnail.
    if (ScanData() >= 0) return FirstCutAfter(searches_.bareEnds, std::max(ScanData(), walked));
    return std::nullopt;
}

}  // namespace velkor
