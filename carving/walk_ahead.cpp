#include "carving/walk_ahead.h"

#include <system_error>

namespace velkor {

void WalkAhead::Start(ByteView bytes) {
    Drop();
    try {
        walk_ = std::async(std::launch::async, [bytes] { return WalkPicture(bytes); });
        bytes_ = bytes;
    } catch (const std::system_error&) {
        // Out of threads: the walk is simply done in turn.
    }
}

std::optional<PictureWalk> WalkAhead::Take(ByteView bytes) {
    if (!walk_.valid()) return std::nullopt;
    const bool same = bytes.data() == bytes_.data() && bytes.size() == bytes_.size();
    if (!same) {
        Drop();
        return std::nullopt;
    }
    bytes_ = {};
    return walk_.get();
}

void WalkAhead::Drop() {
    if (walk_.valid()) walk_.wait();
    walk_ = {};
    bytes_ = {};
}

}  // namespace velkor
