#include <algorithm>
#include <optional>
#include <vector>

#include "platform/jpeg_headers.h"
#include "platform/preview_decode.h"
#include "platform/windows_com.h"

namespace velkor {
namespace {

constexpr int kRgbBytes = 3;

// How many scans the bytes begin (start-of-scan markers), counting no further than limit.
int ScansUpTo(ByteView bytes, int limit) {
    int scans = 0;
    for (std::size_t i = 0; i + 1 < bytes.size() && scans <= limit; ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) ++scans;
    }
    return scans;
}

// A decoder may hold the whole frame at 3 bytes a pixel; conversion and scaling go row by row.
bool TooLarge(long long width, long long height) {
    const long long pixels = width * height;
    return pixels > kMaxPicturePixels || pixels * 3 > kPreviewMemoryCap;
}

// WIC decodes the whole frame before it scales, and it cannot be stopped part way: the pixel
// and memory caps are checked before it starts, and they bound its time. Some of its decoders
// (Wine's) decode the whole frame as soon as it is opened, so the frame's declared size is
// checked before WIC sees the bytes at all.
PreviewOutcome Decode(ByteView bytes, PictureSize box, PreviewPicture& picture) {
    const std::optional<DeclaredSize> declared = DeclaredFrameSize(bytes);
    if (!declared) return PreviewOutcome::kNotDecodable;
    if (TooLarge(declared->width, declared->height)) return PreviewOutcome::kTooLarge;
    if (ScansUpTo(bytes, kMaxPictureScans) > kMaxPictureScans) return PreviewOutcome::kTooManyScans;
    const ComApartment apartment;
    JpegFrame opened;
    UINT width = 0;
    UINT height = 0;
    if (!OpenJpegFrame(bytes, opened) || FAILED(opened.frame->GetSize(&width, &height)) || width == 0 || height == 0) {
        return PreviewOutcome::kNotDecodable;
    }
    if (TooLarge(width, height)) return PreviewOutcome::kTooLarge;
    const PictureSize shown = FittedSize({static_cast<int>(width), static_cast<int>(height)}, box);
    // Every decoder's output converts to 32-bit BGRA, the one format Wine's converter
    // takes every other to: convert, scale, then keep R, G and B in the decoder's order.
    ComPointer<IWICFormatConverter> converter;
    ComPointer<IWICBitmapScaler> scaler;
    if (FAILED(opened.factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(opened.frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)) ||
        FAILED(opened.factory->CreateBitmapScaler(scaler.Out())) ||
        FAILED(scaler->Initialize(converter.get(), static_cast<UINT>(shown.width), static_cast<UINT>(shown.height),
                                  WICBitmapInterpolationModeFant))) {
        return PreviewOutcome::kNotDecodable;
    }
    const std::size_t pixelCount = static_cast<std::size_t>(shown.width) * static_cast<std::size_t>(shown.height);
    std::vector<std::uint8_t> bgra(pixelCount * 4);
    if (FAILED(scaler->CopyPixels(nullptr, static_cast<UINT>(shown.width) * 4, static_cast<UINT>(bgra.size()),
                                  bgra.data()))) {
        return PreviewOutcome::kNotDecodable;
    }
    picture.rgb.resize(pixelCount * kRgbBytes);
    for (std::size_t i = 0; i < pixelCount; ++i) {
        picture.rgb[kRgbBytes * i] = bgra[4 * i + 2];
        picture.rgb[kRgbBytes * i + 1] = bgra[4 * i + 1];
        picture.rgb[kRgbBytes * i + 2] = bgra[4 * i];
    }
    picture.width = picture.shownWidth = shown.width;
    picture.height = picture.shownHeight = shown.height;
    return PreviewOutcome::kDecoded;
}

}  // namespace

PreviewPicture DecodePreview(ByteView bytes, int boxWidth, int boxHeight, std::chrono::milliseconds) {
    PreviewPicture picture;
    const PreviewOutcome outcome = Decode(bytes, {boxWidth, boxHeight}, picture);
    if (outcome == PreviewOutcome::kDecoded) {
        picture.outcome = outcome;
        return picture;
    }
    PreviewPicture refused;
    refused.outcome = outcome;
    return refused;
}

}  // namespace velkor
