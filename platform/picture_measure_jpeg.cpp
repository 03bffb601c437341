#include <algorithm>
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

// A source over bytes in memory that hands them to the reader piece by piece and
// remembers how far it handed them out, and whether the reader asked for more than
// there is. The reader keeps private copies of its position while it parses a
// segment, so only what was handed out tells how far it read. When the bytes run
// out it hands out end markers, as jpeg_mem_src does, so the answers are the same.
struct PieceSource {
    jpeg_source_mgr base;
    ByteView bytes;
    std::size_t piece = 0;     // bytes handed out at a time
    std::size_t position = 0;  // bytes handed out or skipped so far
    bool ranOut = false;
};

const JOCTET kFakeEnd[2] = {0xFF, JPEG_EOI};

PieceSource& SourceOf(j_decompress_ptr info) { return *reinterpret_cast<PieceSource*>(info->src); }

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    PieceSource& source = SourceOf(info);
    if (source.position >= source.bytes.size()) {
        source.ranOut = true;
        source.base.next_input_byte = kFakeEnd;
        source.base.bytes_in_buffer = sizeof kFakeEnd;
        return TRUE;
    }
    const std::size_t size = std::min(source.piece, source.bytes.size() - source.position);
    source.base.next_input_byte = source.bytes.data() + source.position;
    source.base.bytes_in_buffer = size;
    source.position += size;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    PieceSource& source = SourceOf(info);
    if (count <= 0) return;
    auto wanted = static_cast<std::size_t>(count);
    if (wanted <= source.base.bytes_in_buffer) {
        source.base.next_input_byte += wanted;
        source.base.bytes_in_buffer -= wanted;
        return;
    }
    wanted -= source.base.bytes_in_buffer;
    source.base.bytes_in_buffer = 0;
    const std::size_t left = source.bytes.size() - source.position;
    source.position += std::min(wanted, left);
    if (wanted <= left) return;
    wanted -= left;
    // Past the end the skip runs over handed-out end markers, as it would in jpeg_mem_src.
    while (wanted > 0) {
        FillInput(info);
        const std::size_t step = std::min(wanted, source.base.bytes_in_buffer);
        source.base.next_input_byte += step;
        source.base.bytes_in_buffer -= step;
        wanted -= step;
    }
}

struct HeaderRead {
    PictureSize size;
    std::int64_t read = -1;  // bytes the reader took to reach its answer; -1 when it wanted more
};

// Reads the headers of bytes up to the first scan, handing them out piece bytes at a time.
HeaderRead ReadHeaders(ByteView bytes, std::size_t piece) {
    jpeg_decompress_struct info{};
    MeasureErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = AbandonPicture;
    errors.base.emit_message = IgnoreMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    PieceSource source{};
    source.bytes = bytes;
    source.piece = std::max<std::size_t>(piece, 1);
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
    if (!source.ranOut) read.read = static_cast<std::int64_t>(source.position);
    jpeg_destroy_decompress(&info);
    return read;
}

}  // namespace

PictureSize MeasurePicture(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return {};
    return ReadHeaders(bytes, bytes.size()).size;
}

std::int64_t MeasuredLength(ByteView bytes) {
    if (bytes.size() < 4 || bytes.size() > 0xFFFFFFFFu) return -1;
    // One byte at a time, so that what was handed out is exactly what was read.
    return ReadHeaders(bytes, 1).read;
}

}  // namespace velkor
