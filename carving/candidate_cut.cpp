#include "carving/candidate_cut.h"

#include <algorithm>

namespace velkor {
namespace {

const ByteSet kStartSignature = {0xFF, 0xD8, 0xFF};
const ByteSet kEndMarker = {0xFF, 0xD9, 0x00, 0x00};
const ByteSet kBareEnd = {0xFF, 0xD9};

struct Phase {
    const ByteSet& marker;
    int wanted;
};

const Phase kPhases[] = {{kEndMarker, 1 + kFurtherMarkerCuts}, {kBareEnd, kBareEndCuts}};

constexpr int kBareEndPhase = 1;

bool IsStandaloneMarker(std::uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD8); }

}  // namespace

std::int64_t FirstScanDataOffset(ByteView bytes) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    // Each step moves on by at least two bytes, so the walk ends on any input.
    for (std::int64_t at = 2; at + 4 <= size;) {
        if (bytes[static_cast<std::size_t>(at)] != 0xFF) return -1;
        const std::uint8_t code = bytes[static_cast<std::size_t>(at) + 1];
        if (code == 0xFF) {
            ++at;  // fill byte before a marker
            continue;
        }
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

bool CutSeeker::HasEndMarker() {
    if (!firstMarker_) firstMarker_ = FindBytes(reach_, kEndMarker);
    return *firstMarker_ >= 0;
}

bool CutSeeker::NextPhase() {
    ++phase_;
    taken_ = 0;
    from_ = 0;
    if (phase_ == kBareEndPhase) {
        // A bare FF D9 before the first scan's data belongs to an embedded thumbnail,
        // never to the picture: a cut there would keep the headers and lose the photo.
        from_ = scanData_.value_or(-1);
        if (from_ < 0) phase_ = static_cast<int>(std::size(kPhases));
    }
    return phase_ < static_cast<int>(std::size(kPhases));
}

std::optional<std::int64_t> CutSeeker::Next() {
    // An end marker before the first scan's data lies in the headers (an EXIF
    // thumbnail's end, even with zeros behind it): a cut there would keep the
    // headers and lose the photo, so none is judged.
    if (!scanData_) scanData_ = FirstScanDataOffset(reach_);
    while (phase_ < static_cast<int>(std::size(kPhases))) {
        const Phase& phase = kPhases[phase_];
        const bool firstSearch = phase_ == 0 && from_ == 0 && firstMarker_.has_value();
        const std::int64_t q = taken_ >= phase.wanted ? -1
                               : firstSearch     ? *firstMarker_
                                                 : FindBytes(reach_, phase.marker, from_);
        if (q < 0) {
            NextPhase();
            continue;
        }
        from_ = q + 1;
        if (q < *scanData_) continue;
        const std::int64_t sectors = CutSectorsForMarkerAt(q);
        if (tried_.insert(sectors).second) {
            ++taken_;
            return sectors;
        }
    }
    return std::nullopt;
}

}  // namespace velkor
