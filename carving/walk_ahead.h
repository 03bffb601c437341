#pragma once
// The walk of the next candidate's structure, done on a thread of its own while the
// validator judges the current one. On a card dense with photos the scan would
// otherwise sit idle for the validator and then spend the walk's time on top: the
// walk reads every byte of a photo, and the next start is known before the verdict.
#include <cstdint>
#include <future>
#include <optional>

#include "carving/picture_walk.h"
#include "platform/bytes.h"

namespace velkor {

class WalkAhead {
public:
    WalkAhead() = default;
    WalkAhead(const WalkAhead&) = delete;
    WalkAhead& operator=(const WalkAhead&) = delete;
    ~WalkAhead() { Drop(); }

    // Starts walking bytes, which must stay as they are until the walk is taken or
    // dropped. A walk still under way is dropped first. When no thread can be had,
    // nothing is started and the walk is done when it is needed.
    void Start(ByteView bytes);

    // The walk of exactly these bytes (the same place and length), waiting for it
    // to end; nothing when no walk of them was started.
    std::optional<PictureWalk> Take(ByteView bytes);

    // Waits for a walk under way and forgets it: afterwards its bytes may change.
    void Drop();

private:
    std::future<PictureWalk> walk_;
    ByteView bytes_{};
};

}  // namespace velkor
