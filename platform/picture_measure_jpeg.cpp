#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "platform/picture_measure.h"

namespace velkor {
namespace {

struct MeasureErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

[[noreturn]] void AbandonPicture(j_common_ptr info) {
    std::longjmp(reinterpret_cast<MeasureErrorManager*>(info->err)->escape, 1);
}

// Corrupt or missing entropy-coded data only warns: a damaged photo is still worth recovering.
void IgnoreMessage(j_common_ptr, int) {}

// Headers are read only up to the first scan, before any progress is reported; the
// limit guards any reading beyond it, which a progressive stream of thousands of
// scans would otherwise stall.
void LimitScans(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxPictureScans) {
        AbandonPicture(info);
    }
}

bool IsWithinPixelCap(const jpeg_decompress_struct& info) {
    return static_cast<long long>(info.image_width) * info.image_height <= kMaxPicturePixels;
}

}  // namespace

PictureSize MeasurePicture(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return {};
    jpeg_decompress_struct info{};
    MeasureErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = AbandonPicture;
    errors.base.emit_message = IgnoreMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    PictureSize size;
    if (setjmp(errors.escape) == 0) {
        jpeg_create_decompress(&info);
        info.mem->max_memory_to_use = kDecoderMemoryCap;
        info.progress = &progress;
        jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
        // Reading up to the first scan gives the frame's own size; decoding the
        // pixels would change no verdict and costs far more than the exchange.
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && IsWithinPixelCap(info)) {
            size.width = static_cast<int>(info.image_width);
            size.height = static_cast<int>(info.image_height);
        }
    }
    jpeg_destroy_decompress(&info);
    return size;
}

}  // namespace velkor
