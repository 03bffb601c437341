#include "device/chunk_stream.h"

#include <utility>

namespace velkor {

ChunkStream::ChunkStream(std::string letter)
    : letter_(std::move(letter)), slots_(static_cast<std::size_t>(kChunkBytes)), reader_([this] { ReadChunks(); }) {}

ChunkStream::~ChunkStream() {
    {
        const std::lock_guard lock(guard_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

void ChunkStream::Fetch(std::int64_t start) {
    if (!Valid()) return;
    const int index = SlotOf(start);
    {
        const std::lock_guard lock(guard_);
        if (slot_[index].start == start) return;
    }
    VolumeReader reader(letter_);
    {
        const std::lock_guard lock(guard_);
        Slot& slot = slot_[index];
        slot.start = start;
        slot.arrived = false;
        slot.report = {};
        slot.reader.reset();
        slot.reader.emplace(std::move(reader));
    }
    changed_.notify_all();
}

void ChunkStream::ReadChunks() {
    std::unique_lock lock(guard_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || slot_[0].reader || slot_[1].reader; });
        if (stop_) return;
        // The slot asked for first is the one behind the other when both wait.
        int index = slot_[0].reader ? 0 : 1;
        if (slot_[0].reader && slot_[1].reader && slot_[1].start < slot_[0].start) index = 1;
        Slot& slot = slot_[index];
        VolumeReader reader = std::move(*slot.reader);
        slot.reader.reset();
        const std::int64_t start = slot.start;
        lock.unlock();
        ReadReport report = reader.Read(start, slots_.Slot(index), kChunkBytes, stop_);
        slots_.Mirror(index);
        lock.lock();
        if (slot.start == start) {
            slot.report = std::move(report);
            slot.arrived = true;
        }
        changed_.notify_all();
    }
}

bool ChunkStream::Arrived(std::int64_t start, std::chrono::milliseconds wait) {
    if (!Valid()) return true;
    std::unique_lock lock(guard_);
    const Slot& slot = slot_[SlotOf(start)];
    return changed_.wait_for(lock, wait, [&] { return slot.start == start && slot.arrived; });
}

ReadReport ChunkStream::ReportOf(std::int64_t start) const {
    const std::lock_guard lock(guard_);
    const Slot& slot = slot_[SlotOf(start)];
    if (!Valid() || slot.start != start || !slot.arrived) return {};
    return slot.report;
}

ByteView ChunkStream::From(std::int64_t start, std::size_t offset, std::size_t length) const {
    return slots_.From(SlotOf(start), offset, length);
}

}  // namespace velkor
