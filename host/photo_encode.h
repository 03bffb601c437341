#pragma once
// The encoder behind the synthesised photographs: libjpeg-turbo on Linux, the Windows
// Imaging Component on Windows.
#include <cstdint>
#include <functional>

#include "host/photo_synth.h"

namespace velkor::synth {

// Writes row y of the picture: width x components bytes (R, G, B, or grey alone).
using RowFiller = std::function<void(int y, int components, std::uint8_t* row)>;

// Encodes the rows fillRow writes with the coding of options; a non-empty app1 is written as
// an APP1 segment right after the start marker, in place of the JFIF header.
ByteSet Encode(int width, int height, const JpegOptions& options, const ByteSet& app1, const RowFiller& fillRow);

}  // namespace velkor::synth
