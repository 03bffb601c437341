// The candidate cut on arbitrary chunks: for every sector slot that begins a
// candidate, the cut worth judging lies inside the chunk, ends in the sector of an
// end, and is the same whether the end searches are shared with the earlier
// candidates (as a scan shares them) or start afresh.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "carving/candidate_cut.h"

namespace {

// True when the cut's last sector holds the D9 of an FF D9.
bool EndsInTheSectorOfAnEnd(velkor::ByteView cut) {
    const std::size_t last = (cut.size() - 1) / 512 * 512;
    for (std::size_t d9 = std::max<std::size_t>(last, 1); d9 < cut.size(); ++d9) {
        if (cut[d9 - 1] == 0xFF && cut[d9] == 0xD9) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::ByteView chunk(data, size);
    velkor::EndSearches shared;
    for (std::size_t offset = 0; offset < size; offset += 512) {
        const velkor::ByteView tail = chunk.subspan(offset);
        const bool signature = tail.size() >= 3 && tail[0] == 0xFF && tail[1] == 0xD8 && tail[2] == 0xFF;
        if (velkor::BeginsCandidate(tail.first(std::min<std::size_t>(512, tail.size()))) != signature) std::abort();
        if (!signature) continue;
        const auto at = static_cast<std::int64_t>(offset);
        velkor::CutFinder finder(tail, at, shared);
        const auto sectors = finder.FirstCut();
        velkor::EndSearches fresh;
        velkor::CutFinder alone(tail, at, fresh);
        if (alone.FirstCut() != sectors) std::abort();
        if (!sectors) continue;
        const velkor::ByteView cut = velkor::CutBytes(tail, *sectors);
        const auto reach = static_cast<std::uint64_t>(*sectors) * 512;
        if (*sectors < 1 || reach > tail.size() + 512 || cut.size() != std::min<std::uint64_t>(reach, tail.size())) std::abort();
        if (!EndsInTheSectorOfAnEnd(cut) || !finder.HeadersEndWithin()) std::abort();
    }
    return 0;
}
