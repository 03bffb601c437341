// The preview decoder on arbitrary bytes: it never crashes, leaks or hangs, and what it
// decodes is consistent: pixels for its own size, covering a shown size that fits the box,
// within the memory cap. The first two bytes choose the box, so the scale choice is fuzzed too.
#include <cstdint>
#include <cstdlib>

#include "platform/preview_decode.h"

namespace {

constexpr std::size_t kBoxBytes = 2;
constexpr int kBoxStep = 4;

bool IsEmpty(const velkor::PreviewPicture& picture) {
    return picture.rgb.empty() && picture.width == 0 && picture.height == 0 && picture.shownWidth == 0 &&
           picture.shownHeight == 0;
}

bool IsConsistent(const velkor::PreviewPicture& picture, int boxWidth, int boxHeight) {
    const bool shownFits = picture.shownWidth >= 1 && picture.shownWidth <= boxWidth &&
                           picture.shownHeight >= 1 && picture.shownHeight <= boxHeight;
    const bool covers = picture.width >= picture.shownWidth && picture.height >= picture.shownHeight;
    const bool sized = picture.rgb.size() == static_cast<std::size_t>(picture.width) * picture.height * 3;
    return shownFits && covers && sized &&
           static_cast<long long>(picture.rgb.size()) <= velkor::kPreviewMemoryCap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kBoxBytes) return 0;
    const int boxWidth = 1 + data[0] * kBoxStep;
    const int boxHeight = 1 + data[1] * kBoxStep;
    const velkor::PreviewPicture picture =
        velkor::DecodePreview(velkor::ByteView(data + kBoxBytes, size - kBoxBytes), boxWidth, boxHeight);
    const bool decoded = picture.outcome == velkor::PreviewOutcome::kDecoded;
    if (decoded ? !IsConsistent(picture, boxWidth, boxHeight) : !IsEmpty(picture)) std::abort();
    return 0;
}
