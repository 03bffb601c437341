#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/preview_decode.h"

namespace velkor {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRgbBytes = 3;
constexpr int kLargestScaleDenominator = 8;
// Even the largest picture within the pixel cap fits the memory cap at 1/8 scale (each side
// rounded up), so reducing the scale always ends within it.
static_assert((kMaxPicturePixels / 64 + 2 * JPEG_MAX_DIMENSION / 8 + 1) * kRgbBytes <= kPreviewMemoryCap);

using Size = PictureSize;

// What libjpeg's callbacks reach through client_data: where to jump and why.
struct DecodeGuard {
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf escape{};
    Clock::time_point deadline;
    PreviewOutcome stopReason = PreviewOutcome::kNotDecodable;
};

DecodeGuard& GuardOf(j_common_ptr info) { return *static_cast<DecodeGuard*>(info->client_data); }

// Leaves libjpeg's C frames by longjmp: an exception must never unwind through them.
[[noreturn]] void StopDecoding(j_common_ptr info, PreviewOutcome reason) {
    GuardOf(info).stopReason = reason;
    std::longjmp(GuardOf(info).escape, 1);
}

PreviewOutcome OutcomeOfError(int messageCode) {
    switch (messageCode) {
        case JERR_NO_BACKING_STORE:
        case JERR_OUT_OF_MEMORY:
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            return PreviewOutcome::kTooLarge;
        default:
            return PreviewOutcome::kNotDecodable;
    }
}

[[noreturn]] void AbandonOnError(j_common_ptr info) {
    StopDecoding(info, OutcomeOfError(info->err->msg_code));
}

// A damaged or truncated photo only warns (libjpeg then decodes grey where data is
// missing): what it still holds is worth showing.
void IgnoreWarning(j_common_ptr, int) {}

// libjpeg calls this between scans, iMCU rows and output rows, so neither many scans nor
// one large picture can run long between two checks.
void CheckLimits(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxPictureScans) {
        StopDecoding(info, PreviewOutcome::kTooManyScans);
    }
    if (Clock::now() >= GuardOf(info).deadline) StopDecoding(info, PreviewOutcome::kTimedOut);
}

long long OutputBytes(const jpeg_decompress_struct& info) {
    return static_cast<long long>(info.output_width) * info.output_height * kRgbBytes;
}

void SetScaleDenominator(jpeg_decompress_struct& info, int denominator) {
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(denominator);
    jpeg_calc_output_dimensions(&info);
}

bool OutputCovers(const jpeg_decompress_struct& info, Size shown) {
    return info.output_width >= static_cast<JDIMENSION>(shown.width) &&
           info.output_height >= static_cast<JDIMENSION>(shown.height);
}

// Picks the strongest reduction whose output still covers shown, then reduces further while
// the output would pass the memory cap (only a box wider than an eighth of a huge picture asks that).
void ChooseScale(jpeg_decompress_struct& info, Size shown) {
    int denominator = kLargestScaleDenominator;
    SetScaleDenominator(info, denominator);
    while (denominator > 1 && !OutputCovers(info, shown)) {
        denominator /= 2;
        SetScaleDenominator(info, denominator);
    }
    while (denominator < kLargestScaleDenominator && OutputBytes(info) > kPreviewMemoryCap) {
        denominator *= 2;
        SetScaleDenominator(info, denominator);
    }
}

// A decompressor owned from jpeg_create_decompress to jpeg_destroy_decompress, whether or
// not decoding got through.
class Decompressor {
public:
    explicit Decompressor(std::chrono::milliseconds timeLimit) {
        info_.err = jpeg_std_error(&guard_.errors);
        guard_.errors.error_exit = AbandonOnError;
        guard_.errors.emit_message = IgnoreWarning;
        guard_.progress.progress_monitor = CheckLimits;
        guard_.deadline = Clock::now() + timeLimit;
        info_.client_data = &guard_;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Decodes bytes into picture; returns why it stopped when it did not get through.
    PreviewOutcome Run(ByteView bytes, Size box, PreviewPicture& picture);

private:
    void ReadHeader(ByteView bytes);
    void ReadRows(PreviewPicture& picture);

    jpeg_decompress_struct info_{};
    DecodeGuard guard_;
};

// Everything after setjmp, down to libjpeg, keeps its state in members or in picture:
// a longjmp skips destructors and leaves modified locals undefined.
PreviewOutcome Decompressor::Run(ByteView bytes, Size box, PreviewPicture& picture) {
    if (setjmp(guard_.escape) != 0) return guard_.stopReason;
    ReadHeader(bytes);
    const Size full{static_cast<int>(info_.image_width), static_cast<int>(info_.image_height)};
    if (static_cast<long long>(full.width) * full.height > kMaxPicturePixels) {
        return PreviewOutcome::kTooLarge;
    }
    const Size shown = FittedSize(full, box);
    ChooseScale(info_, shown);
    jpeg_start_decompress(&info_);
    ReadRows(picture);
    picture.shownWidth = shown.width;
    picture.shownHeight = shown.height;
    return PreviewOutcome::kDecoded;
}

void Decompressor::ReadHeader(ByteView bytes) {
    jpeg_create_decompress(&info_);
    info_.mem->max_memory_to_use = kPreviewMemoryCap;
    info_.progress = &guard_.progress;
    // Past the end of the data jpeg_mem_src feeds a fake end marker with a warning, so a
    // truncated photo decodes down to where its data stops.
    jpeg_mem_src(&info_, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info_, TRUE);
    info_.out_color_space = JCS_RGB;
}

// Stops without jpeg_finish_decompress: every row is read by then, and whatever follows the
// last scan in the data cannot change them.
void Decompressor::ReadRows(PreviewPicture& picture) {
    const std::size_t stride = static_cast<std::size_t>(info_.output_width) * kRgbBytes;
    picture.rgb.assign(stride * info_.output_height, 0);
    picture.width = static_cast<int>(info_.output_width);
    picture.height = static_cast<int>(info_.output_height);
    JSAMPROW row = picture.rgb.data();
    while (info_.output_scanline < info_.output_height && jpeg_read_scanlines(&info_, &row, 1) == 1) {
        row += stride;
    }
}

}  // namespace

PreviewPicture DecodePreview(ByteView bytes, int boxWidth, int boxHeight,
                             std::chrono::milliseconds timeLimit) {
    PreviewPicture picture;
    Decompressor decompressor(timeLimit);
    const PreviewOutcome outcome = decompressor.Run(bytes, {boxWidth, boxHeight}, picture);
    if (outcome == PreviewOutcome::kDecoded) {
        picture.outcome = outcome;
        return picture;
    }
    // Whatever a stopped decode had filled in goes: only a decode that got through is shown.
    PreviewPicture refused;
    refused.outcome = outcome;
    return refused;
}

}  // namespace velkor
