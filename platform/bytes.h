#pragma once
// Byte sets and the growable byte buffer shared by every unit.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velkor {

// A counted block of bytes; an empty one has length 0.
using ByteSet = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Returns the text's bytes as a byte set.
ByteSet BytesOf(std::string_view text);

// Returns the 0-based offset of the first occurrence of needle in haystack at or
// after from, or -1 when it does not occur.
std::int64_t FindBytes(ByteView haystack, ByteView needle, std::int64_t from = 0);

// A byte buffer that grows by appending and can be searched.
class GrowableBuffer {
public:
    // Empties the buffer; its storage is kept for the next use.
    void Clear();
    // Hands out the storage with whatever it holds and leaves the buffer empty, so a
    // large block can be read straight into it and appended back without a fresh
    // allocation or zero-filling.
    ByteSet TakeStorage();
    void Append(ByteView bytes);
    // Appends by taking over bytes' storage when the buffer is empty, saving a copy of a large block.
    void Append(ByteSet&& bytes);
    // Returns the 1-based position of the first occurrence of needle, -1 when absent.
    std::int64_t Find(ByteView needle) const;
    ByteView View() const { return bytes_; }
    std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }

private:
    ByteSet bytes_;
};

}  // namespace velkor
