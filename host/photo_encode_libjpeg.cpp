#include "host/photo_encode.h"

#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace velkor::synth {

bool CanEncode(const JpegOptions&) { return true; }

ByteSet Encode(int width, int height, const JpegOptions& options, const ByteSet& app1,
               const RowFiller& fillRow) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = options.grayscale ? 1 : 3;
    info.in_color_space = options.grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (!options.grayscale) {
        info.comp_info[0].h_samp_factor = options.horizontalSampling;
        info.comp_info[0].v_samp_factor = options.verticalSampling;
    }
    if (options.progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = options.restartRows;
    info.write_JFIF_header = app1.empty() ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    if (!app1.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * static_cast<std::size_t>(info.input_components));
    while (info.next_scanline < info.image_height) {
        fillRow(static_cast<int>(info.next_scanline), info.input_components, row.data());
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    ByteSet bytes(out, out + outSize);
    std::free(out);
    jpeg_destroy_compress(&info);
    return bytes;
}

}  // namespace velkor::synth
