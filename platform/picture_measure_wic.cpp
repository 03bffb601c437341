#include <algorithm>
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

// libjpeg refuses a frame side beyond this, whatever the pixel count.
constexpr std::int64_t kMaxFrameSide = 65500;

// The side a frame is shown to the decoder at, at most: enough for every check it makes.
constexpr std::int64_t kCheckedSide = 16;

// headers with their frame declaring at most kCheckedSide x kCheckedSide. The size is read from
// the headers, not asked of the decoder: some decoders (Wine's) decode, and allocate, the whole
// frame as soon as it is opened, even with no coded data behind the headers, which for a hostile
// header at the pixel cap took seconds and gigabytes. The decoder still checks the rest.
ByteSet WithSmallFrame(ByteSet headers, const DeclaredSize& declared) {
    const auto put = [&](std::int64_t at, std::int64_t value) {
        headers[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value >> 8);
        headers[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(value);
    };
    put(declared.heightAt, std::min(declared.height, kCheckedSide));
    put(declared.heightAt + 2, std::min(declared.width, kCheckedSide));
    return headers;
}

}  // namespace

PictureSize MeasurePicture(ByteView bytes) {
    const ByteSet headers = HeadersOnly(bytes);
    if (headers.empty()) return {};
    const std::optional<DeclaredSize> declared = DeclaredFrameSize(headers);
    if (!declared || declared->width == 0 || declared->height == 0 || declared->width > kMaxFrameSide ||
        declared->height > kMaxFrameSide || declared->width * declared->height > kMaxPicturePixels) {
        return {};
    }
    const ComApartment apartment;
    JpegFrame opened;
    UINT width = 0;
    UINT height = 0;
    if (!OpenJpegFrame(WithSmallFrame(headers, *declared), opened) || FAILED(opened.frame->GetSize(&width, &height))) {
        return {};
    }
    return {static_cast<int>(declared->width), static_cast<int>(declared->height)};
}

// The measurement rests on the headers alone, so they are all it reads; headers that never
// reach a scan give no size whatever follows them.
std::int64_t MeasuredLength(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return -1;
    return HeadersEnd(bytes);
}

}  // namespace velkor
