// picvet's measuring unit on arbitrary bytes: it never crashes, leaks or hangs, and
// whatever it reports is a frame libjpeg could open within the pixel cap. Every run of
// bytes that begins with the length it says it read gets the same answer.
#include <cstdint>
#include <cstdlib>

#include "platform/picture_measure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::PictureSize measured = velkor::MeasurePicture(velkor::ByteView(data, size));
    const bool none = measured.width == 0 && measured.height == 0;
    const bool frame = measured.width > 0 && measured.height > 0 && measured.width <= 65500 && measured.height <= 65500 &&
                       static_cast<long long>(measured.width) * measured.height <= velkor::kMaxPicturePixels;
    if (!none && !frame) std::abort();
    const std::int64_t length = velkor::MeasuredLength(velkor::ByteView(data, size));
    if (length < 0) return 0;
    if (static_cast<std::size_t>(length) > size) std::abort();
    for (const std::size_t prefix : {static_cast<std::size_t>(length), (static_cast<std::size_t>(length) + size) / 2}) {
        const velkor::PictureSize again = velkor::MeasurePicture(velkor::ByteView(data, prefix));
        if (prefix >= 4 && (again.width != measured.width || again.height != measured.height)) std::abort();
    }
    return 0;
}
