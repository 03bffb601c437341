// picvet's measuring unit on arbitrary bytes: it never crashes, leaks or hangs, and
// whatever it reports is a frame libjpeg could open within the pixel cap. Every run of
// bytes that begins with the length it says it read gets the same answer. The headers
// up to the first scan followed by an end marker (what the Windows validator hands its
// decoder) get libjpeg's answer for the whole bytes, and the size their frame header
// declares (what the Windows build checks before its decoder opens a frame) is libjpeg's.
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/jpeg_headers.h"
#include "platform/picture_measure.h"

namespace {

void CheckHeadersAlone(velkor::ByteView bytes, velkor::PictureSize measured) {
    const std::int64_t end = velkor::HeadersEnd(bytes);
    if (end < -1 || end > static_cast<std::int64_t>(bytes.size())) std::abort();
    if (end < 0) {
        if (measured.width != 0) std::abort();  // libjpeg found a scan the walk did not
        return;
    }
    velkor::ByteSet headers(bytes.begin(), bytes.begin() + end);
    headers.push_back(0xFF);
    headers.push_back(0xD9);
    const velkor::PictureSize alone = velkor::MeasurePicture(headers);
    if (alone.width != measured.width || alone.height != measured.height) std::abort();
}

void CheckDeclaredSize(velkor::ByteView bytes, velkor::PictureSize measured) {
    if (measured.width == 0) return;
    const std::optional<velkor::DeclaredSize> declared = velkor::DeclaredFrameSize(bytes);
    if (!declared || declared->width != measured.width || declared->height != measured.height) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velkor::PictureSize measured = velkor::MeasurePicture(velkor::ByteView(data, size));
    const bool none = measured.width == 0 && measured.height == 0;
    const bool frame = measured.width > 0 && measured.height > 0 && measured.width <= 65500 && measured.height <= 65500 &&
                       static_cast<long long>(measured.width) * measured.height <= velkor::kMaxPicturePixels;
    if (!none && !frame) std::abort();
    CheckHeadersAlone(velkor::ByteView(data, size), measured);
    CheckDeclaredSize(velkor::ByteView(data, size), measured);
    const std::int64_t length = velkor::MeasuredLength(velkor::ByteView(data, size));
    if (length < 0) return 0;
    if (static_cast<std::size_t>(length) > size) std::abort();
    for (const std::size_t prefix : {static_cast<std::size_t>(length), (static_cast<std::size_t>(length) + size) / 2}) {
        const velkor::PictureSize again = velkor::MeasurePicture(velkor::ByteView(data, prefix));
        if (prefix >= 4 && (again.width != measured.width || again.height != measured.height)) std::abort();
    }
    return 0;
}
