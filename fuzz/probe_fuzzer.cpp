// ProbeImageSize on arbitrary bytes: it reads only inside them, and a JPEG dimension
// is either a 16-bit field or the -1 of a read outside the search window.
#include <cstdint>
#include <cstdlib>

#include "carving/dimension_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::ByteView bytes(data, size);
    const velkor::ProbedSize probed = velkor::ProbeImageSize(bytes);
    const bool isJpeg = size > 54 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    if (isJpeg && (probed.width < -1 || probed.width > 65535 || probed.height < -1 || probed.height > 65535)) std::abort();
    const std::int64_t window = velkor::JpegSearchWindow(static_cast<std::int64_t>(size));
    if (window < 0 || window > 10000 || window > static_cast<std::int64_t>(size)) std::abort();
    return 0;
}
