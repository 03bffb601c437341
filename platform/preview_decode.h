#pragma once
// The preview decoder: turns a found photo's bytes into pixels for the picture box
// without handing a hostile header the window's memory or time. It needs no window,
// so it can be tested and fuzzed alone.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "platform/picture_measure.h"

namespace velkor {

// How a preview decode ended.
enum class PreviewOutcome {
    kDecoded,       // the pixels are there, possibly grey below where the data ended
    kNotDecodable,  // not a JPEG libjpeg can decode, or its data ends before the first scan
    kTooLarge,      // more than kMaxPicturePixels pixels, or its buffers pass kPreviewMemoryCap
    kTooManyScans,  // more than kMaxPictureScans scans
    kTimedOut,      // the decoding took longer than its time limit
};

// What libjpeg may hold for one preview. Larger than the validator's cap, which never
// decodes pixels: a progressive photo keeps every coefficient in memory (about 3 bytes
// a pixel at 4:2:0), and a 40-megapixel progressive photo should still show, while a
// hostile header declaring gigapixels is still refused at once.
inline constexpr long kPreviewMemoryCap = 128L * 1024 * 1024;

// The window is frozen while a preview decodes. A 50-megapixel camera photo takes about a
// tenth of a second at 1/8 scale on a 2-core machine: this leaves room for slower machines
// and busier moments, and a hostile picture holds the window no longer than this.
inline constexpr std::chrono::milliseconds kPreviewTimeLimit{2000};

struct PreviewPicture {
    PreviewOutcome outcome = PreviewOutcome::kNotDecodable;
    // Decoded pixels, 3 bytes (R, G, B) each, row by row; width x height of them when
    // decoded, none otherwise. They cover the shown size unless that would pass the memory cap.
    std::vector<std::uint8_t> rgb;
    int width = 0;
    int height = 0;
    // The size to show: the picture's own when it fits the box, else scaled down to fit it
    // with the aspect ratio kept. 0 x 0 unless decoded.
    int shownWidth = 0;
    int shownHeight = 0;
};

// The size a picture is shown at in a box: its own when it fits, else scaled down to fit
// with its aspect ratio kept (as QSize::scaled with Qt::KeepAspectRatio), never below 1 x 1.
inline PictureSize FittedSize(PictureSize picture, PictureSize box) {
    box = {std::max(box.width, 1), std::max(box.height, 1)};
    if (picture.width <= box.width && picture.height <= box.height) return picture;
    const long long widthAtBoxHeight = static_cast<long long>(box.height) * picture.width / picture.height;
    if (widthAtBoxHeight <= box.width) return {std::max(static_cast<int>(widthAtBoxHeight), 1), box.height};
    const long long heightAtBoxWidth = static_cast<long long>(box.width) * picture.height / picture.width;
    return {box.width, std::max(static_cast<int>(heightAtBoxWidth), 1)};
}

// Decodes the JPEG in bytes for a boxWidth x boxHeight box, at the smallest of libjpeg's
// scales 1/8, 1/4, 1/2 and 1 that still covers the shown size, within kPreviewMemoryCap,
// kMaxPicturePixels, kMaxPictureScans and timeLimit. Returns kNotDecodable for empty bytes.
PreviewPicture DecodePreview(ByteView bytes, int boxWidth, int boxHeight,
                             std::chrono::milliseconds timeLimit = kPreviewTimeLimit);

}  // namespace velkor
