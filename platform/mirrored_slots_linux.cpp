#include <sys/mman.h>
#include <unistd.h>


#include "platform/mirrored_slots.h"

namespace velkor {

MirroredSlots::MirroredSlots(std::size_t slotBytes) : slotBytes_(slotBytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (slotBytes == 0 || slotBytes % page != 0) return;
    // Reserve room for three slots, lay shared memory for two into it, and map slot 0
    // once more behind them (mremap of a shared mapping with old size 0 maps its pages
    // again). No file backs it, so no limit on file sizes applies.
    void* reserved = mmap(nullptr, 3 * slotBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (reserved == MAP_FAILED) return;
    auto* base = static_cast<std::uint8_t*>(reserved);
    const bool mapped =
        mmap(base, 2 * slotBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED &&
        mremap(base, 0, slotBytes, MREMAP_MAYMOVE | MREMAP_FIXED, base + 2 * slotBytes) != MAP_FAILED;
    if (!mapped) {
        munmap(base, 3 * slotBytes);
        return;
    }
    base_ = base;
}

MirroredSlots::~MirroredSlots() {
    if (base_ != nullptr) munmap(base_, 3 * slotBytes_);
}

// The kernel maps slot 0's pages behind slot 1: nothing to copy.
void MirroredSlots::Mirror(int) {}

}  // namespace velkor
