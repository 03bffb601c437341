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
    void Append(ByteView bytes);
    // Returns the 1-based position of the first occurrence of needle, -1 when absent.
    std::int64_t Find(ByteView needle) const;
    ByteView View() const { return bytes_; }
    std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }

private:
    ByteSet bytes_;
};

}  // namespace velkor
