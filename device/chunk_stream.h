#pragma once
// Reading a volume chunk after chunk, the next chunk on a thread of its own while the
// current one is searched and judged, so that a scan of a slow drive takes the drive's
// time and no more. Two chunk slots in mirrored memory: the chunk at sector s lies in
// slot (s / 100000) % 2, and the chunk behind it always follows it without a copy.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/raw_reader.h"
#include "platform/mirrored_slots.h"

namespace velkor {

class ChunkStream {
public:
    explicit ChunkStream(std::string letter);
    // Stops a read under way between two requests and waits for the reading thread.
    ~ChunkStream();
    ChunkStream(const ChunkStream&) = delete;
    ChunkStream& operator=(const ChunkStream&) = delete;

    // False when the system refused the memory for the two slots.
    bool Valid() const { return slots_.Valid(); }

    // Starts reading the chunk at sector start (a multiple of 100000) into its slot,
    // unless it is there or on its way. The volume is opened here, on the calling thread.
    void Fetch(std::int64_t start);

    // Whether the chunk at start has arrived, waiting up to wait for it.
    bool Arrived(std::int64_t start, std::chrono::milliseconds wait);

    // What reading the arrived chunk at start met.
    ReadReport ReportOf(std::int64_t start) const;

    // length bytes from offset of the arrived chunk at start on, running on into the chunk
    // behind it (which must have arrived too when they reach it).
    ByteView From(std::int64_t start, std::size_t offset, std::size_t length) const;

private:
    struct Slot {
        std::int64_t start = -1;      // the chunk it holds or is receiving; -1: none
        bool arrived = false;
        ReadReport report;
        std::optional<VolumeReader> reader;  // set while the chunk waits to be read
    };

    static int SlotOf(std::int64_t start) { return static_cast<int>((start / kChunkSectors) % 2); }
    void ReadChunks();

    std::string letter_;
    MirroredSlots slots_;
    mutable std::mutex guard_;
    std::condition_variable changed_;
    Slot slot_[2];
    std::atomic<bool> stop_{false};
    std::thread reader_;  // started last, so that it meets everything above made
};

}  // namespace velkor
