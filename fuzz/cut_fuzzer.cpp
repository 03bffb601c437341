// The candidate cut on arbitrary chunks: every sector slot that begins a candidate,
// and every cut length the end-marker search yields for it. Each length is new, at
// least one sector, covers its end marker, and the cut's bytes lie inside the chunk.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>

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
    for (std::size_t offset = 0; offset < size; offset += 512) {
        const velkor::ByteView tail = chunk.subspan(offset);
        const bool signature = tail.size() >= 3 && tail[0] == 0xFF && tail[1] == 0xD8 && tail[2] == 0xFF;
        if (velkor::BeginsCandidate(tail.first(std::min<std::size_t>(512, tail.size()))) != signature) std::abort();
        if (!signature) continue;
        std::set<std::int64_t> tried;
        velkor::CutSeeker seeker(tail, tried);
        std::size_t yielded = 0;
        while (const auto sectors = seeker.Next()) {
            ++yielded;
            const velkor::ByteView cut = velkor::CutBytes(tail, *sectors);
            const auto reach = static_cast<std::uint64_t>(*sectors) * 512;
            if (*sectors < 1 || reach > tail.size() + 512 || cut.size() != std::min<std::uint64_t>(reach, tail.size())) std::abort();
            if (!EndsInTheSectorOfAnEnd(cut)) std::abort();
        }
        if (yielded != tried.size() || yielded > 1 + velkor::kFurtherMarkerCuts + velkor::kBareEndCuts) std::abort();
    }
    return 0;
}
