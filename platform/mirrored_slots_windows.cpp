#include <windows.h>

#include <cstring>

#include "platform/mirrored_slots.h"

namespace velkor {

// Windows maps views of a section only at multiples of 64 KiB, and a slot of 51,200,000
// bytes is not one: slot 0 is copied behind slot 1 instead of mapped there again.
MirroredSlots::MirroredSlots(std::size_t slotBytes) : slotBytes_(slotBytes) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    if (slotBytes == 0 || slotBytes % system.dwPageSize != 0) return;
    void* memory = VirtualAlloc(nullptr, 3 * slotBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    base_ = static_cast<std::uint8_t*>(memory);
}

MirroredSlots::~MirroredSlots() {
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
}

void MirroredSlots::Mirror(int slot) {
    if (base_ != nullptr && (slot & 1) == 0) std::memcpy(base_ + 2 * slotBytes_, base_, slotBytes_);
}

}  // namespace velkor
