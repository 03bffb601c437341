#pragma once
// The picture-measuring unit: reads a picture's width and height without
// decoding its pixels. Shared by the validator program and the library.
#include "platform/bytes.h"

namespace velkor {

struct PictureSize {
    int width = 0;
    int height = 0;
};

// Returns the frame's width and height; 0 x 0 when the bytes are not a JPEG
// whose headers can be read up to the first scan.
PictureSize MeasurePicture(ByteView bytes);

// The measuring rule: both dimensions at least 10 pixels.
inline bool IsLargeEnough(PictureSize size) { return size.width >= 10 && size.height >= 10; }

}  // namespace velkor
