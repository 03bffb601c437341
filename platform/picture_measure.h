#pragma once
// The picture-measuring unit: reads a picture's width and height without
// decoding its pixels. Shared by the validator program and the library.
#include <cstdint>

#include "platform/bytes.h"

namespace velkor {

struct PictureSize {
    int width = 0;
    int height = 0;
};

// No camera makes a frame this large (the largest make a few hundred megapixels);
// a header that declares more is garbage or hostile, and listing it would hand the
// preview a decode of gigabytes.
inline constexpr long long kMaxPicturePixels = 1LL << 30;

// What libjpeg may allocate for one picture's whole-image buffers (a progressive
// picture keeps all its coefficients, 2 bytes per pixel per full-size component);
// a hostile header would otherwise make it allocate gigabytes.
inline constexpr long kDecoderMemoryCap = 64L * 1024 * 1024;

// Cameras write at most a dozen or so scans; thousands only come from hostile data,
// and every scan of a progressive picture costs a pass over all its coefficients.
inline constexpr int kMaxPictureScans = 500;

// Returns the frame's width and height; 0 x 0 when the bytes are not a JPEG
// whose headers can be read up to the first scan, or when the frame has more
// than kMaxPicturePixels pixels.
PictureSize MeasurePicture(ByteView bytes);

// Returns how many leading bytes MeasurePicture reads before it answers for bytes:
// its answer is the same for every run of bytes that begins with those. -1 when it
// runs out of bytes before answering, or when bytes is outside the lengths it takes.
std::int64_t MeasuredLength(ByteView bytes);

// The measuring rule: both dimensions at least 10 pixels.
inline bool IsLargeEnough(PictureSize size) { return size.width >= 10 && size.height >= 10; }

}  // namespace velkor
