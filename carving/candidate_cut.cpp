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

}  // namespace

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
    return phase_ < static_cast<int>(std::size(kPhases));
}

std::optional<std::int64_t> CutSeeker::Next() {
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
        const std::int64_t sectors = CutSectorsForMarkerAt(q);
        if (tried_.insert(sectors).second) {
            ++taken_;
            return sectors;
        }
    }
    return std::nullopt;
}

}  // namespace velkor
