#include <optional>

#include "platform/jpeg_headers.h"
#include "platform/picture_measure.h"
#include "platform/windows_com.h"

namespace velkor {
namespace {

// The headers up to the first scan followed by an end marker: the decoder answers from
// the headers alone, as libjpeg's header reader does, however the coded data behind
// them is cut or damaged.
ByteSet HeadersOnly(ByteView bytes) {
    const std::int64_t end = HeadersEnd(bytes);
    if (end < 0) return {};
    ByteSet headers(bytes.begin(), bytes.begin() + end);
    headers.push_back(0xFF);
    headers.push_back(0xD9);
    return headers;
}

}  // namespace

// Some decoders (Wine's) decode, and allocate, the whole frame as soon as it is opened, even
// with no coded data behind the headers: a frame declared beyond the pixel cap is never opened.
PictureSize MeasurePicture(ByteView bytes) {
    const ByteSet headers = HeadersOnly(bytes);
    if (headers.empty()) return {};
    const std::optional<DeclaredSize> declared = DeclaredFrameSize(headers);
    if (!declared || declared->width * declared->height > kMaxPicturePixels) return {};
    const ComApartment apartment;
    JpegFrame opened;
    UINT width = 0;
    UINT height = 0;
    if (!OpenJpegFrame(headers, opened) || FAILED(opened.frame->GetSize(&width, &height))) return {};
    if (static_cast<long long>(width) * height > kMaxPicturePixels) return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

// The measurement rests on the headers alone, so they are all it reads; headers that never
// reach a scan give no size whatever follows them.
std::int64_t MeasuredLength(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return -1;
    return HeadersEnd(bytes);
}

}  // namespace velkor
