#pragma once
// Memory for two slots of equal size, mapped so that slot 1 is followed by slot 0
// again: bytes taken from either slot run on into the other without a copy, so two
// chunks read one after the other always lie end to end, whichever slot holds which.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace velkor {

class MirroredSlots {
public:
    // slotBytes must be a multiple of the page size; Valid() is false when the system refuses the memory.
    explicit MirroredSlots(std::size_t slotBytes);
    ~MirroredSlots();
    MirroredSlots(const MirroredSlots&) = delete;
    MirroredSlots& operator=(const MirroredSlots&) = delete;

    bool Valid() const { return base_ != nullptr; }
    std::size_t SlotBytes() const { return slotBytes_; }
    // The first byte of slot 0 or 1.
    std::uint8_t* Slot(int slot) const { return base_ + static_cast<std::size_t>(slot & 1) * slotBytes_; }
    // Called once bytes were written into slot: where the system cannot map slot 0 a
    // second time behind slot 1, its bytes are copied there.
    void Mirror(int slot);
    // length bytes from offset of slot on, running on into the other slot; length is cut
    // to what the two slots hold from there (2 x slotBytes - offset).
    ByteView From(int slot, std::size_t offset, std::size_t length) const {
        if (base_ == nullptr || offset >= 2 * slotBytes_) return {};
        return ByteView(Slot(slot) + offset, std::min(length, 2 * slotBytes_ - offset));
    }

private:
    std::size_t slotBytes_ = 0;
    std::uint8_t* base_ = nullptr;
};

}  // namespace velkor
