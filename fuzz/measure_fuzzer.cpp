// picvet's measuring unit on arbitrary bytes: it never crashes, leaks or hangs, and
// whatever it reports is a frame libjpeg could open within the pixel cap.
#include <cstdint>
#include <cstdlib>

#include "platform/picture_measure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::PictureSize measured = velkor::MeasurePicture(velkor::ByteView(data, size));
    const bool none = measured.width == 0 && measured.height == 0;
    const bool frame = measured.width > 0 && measured.height > 0 && measured.width <= 65500 && measured.height <= 65500 &&
                       static_cast<long long>(measured.width) * measured.height <= velkor::kMaxPicturePixels;
    if (!none && !frame) std::abort();
    return 0;
}
