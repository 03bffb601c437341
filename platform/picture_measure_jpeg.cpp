#include <csetjmp>
#include <cstdint>
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

// A source over bytes in memory that, unlike jpeg_mem_src, remembers whether the
// reader asked for more than there is; what it hands out when they run out is the
// same (an end marker), so the answers are the same.
struct BoundedSource {
    jpeg_source_mgr base;
    bool ranOut = false;
};

const JOCTET kFakeEnd[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    auto* source = reinterpret_cast<BoundedSource*>(info->src);
    source->ranOut = true;
    source->base.next_input_byte = kFakeEnd;
    source->base.bytes_in_buffer = sizeof kFakeEnd;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    jpeg_source_mgr& source = *info->src;
    if (count <= 0) return;
    while (static_cast<unsigned long>(count) > source.bytes_in_buffer) {
        count -= static_cast<long>(source.bytes_in_buffer);
        FillInput(info);
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

struct HeaderRead {
    PictureSize size;
    std::int64_t consumed = -1;  // bytes read to reach the answer; -1 when more were asked for
};

HeaderRead ReadHeaders(ByteView bytes) {
    jpeg_decompress_struct info{};
    MeasureErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = AbandonPicture;
    errors.base.emit_message = IgnoreMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    BoundedSource source{};
    source.base.next_input_byte = bytes.data();
    source.base.bytes_in_buffer = bytes.size();
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInput;
    source.base.skip_input_data = SkipInput;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    HeaderRead read;
    if (setjmp(errors.escape) == 0) {
        jpeg_create_decompress(&info);
        info.mem->max_memory_to_use = kDecoderMemoryCap;
        info.progress = &progress;
        info.src = &source.base;
        // Reading up to the first scan gives the frame's own size; decoding the
        // pixels would change no verdict and costs far more than the exchange.
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && IsWithinPixelCap(info)) {
            read.size.width = static_cast<int>(info.image_width);
            read.size.height = static_cast<int>(info.image_height);
        }
    }
    if (!source.ranOut) read.consumed = static_cast<std::int64_t>(source.base.next_input_byte - bytes.data());
    jpeg_destroy_decompress(&info);
    return read;
}

}  // namespace

PictureSize MeasurePicture(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return {};
    return ReadHeaders(bytes).size;
}

std::int64_t MeasuredLength(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return -1;
    return ReadHeaders(bytes).consumed;
}

}  // namespace velkor
