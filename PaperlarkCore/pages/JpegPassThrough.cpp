#include "pages/JpegPassThrough.h"

#include "pages/JpegErrorManager.h"

#include <algorithm>
#include <array>

namespace {

// Runs libjpeg; free of objects with destructors, because libjpeg reports
// errors by longjmp.
bool qualifies(jpeg_decompress_struct& in, jpeg_compress_struct& reference,
               JpegErrorManager& errors, const QByteArray& jpeg, QSize pixels, int quality,
               bool* colour) {
    if (setjmp(errors.jump)) {
        return false;
    }
    // libjpeg's own luminance [0] and chrominance [1] tables for the quality.
    reference.in_color_space = JCS_YCbCr;
    reference.input_components = 3;
    jpeg_set_defaults(&reference);
    jpeg_set_quality(&reference, quality, TRUE);

    jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&in, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    const bool ycc = in.num_components == 3 && in.jpeg_color_space == JCS_YCbCr;
    const bool grey = in.num_components == 1 && in.jpeg_color_space == JCS_GRAYSCALE;
    if ((!ycc && !grey) || in.data_precision != 8 || in.progressive_mode || in.arith_code ||
        int(in.image_width) != pixels.width() || int(in.image_height) != pixels.height()) {
        return false;
    }
    for (int c = 0; c < in.num_components; ++c) {
        const int slot = in.comp_info[c].quant_tbl_no;
        if (slot < 0 || slot >= NUM_QUANT_TBLS || !in.quant_tbl_ptrs[slot]) {
            return false;
        }
        const JQUANT_TBL* own = in.quant_tbl_ptrs[slot];
        const JQUANT_TBL* target = reference.quant_tbl_ptrs[c == 0 ? 0 : 1];
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (own->quantval[k] < target->quantval[k]) {
                return false;
            }
        }
    }
    *colour = ycc;
    return true;
}

} // namespace

std::optional<JpegPassThrough::Layout> JpegPassThrough::check(const QByteArray& jpeg, QSize pixels,
                                                              int quality) {
    if (jpeg.isEmpty() || pixels.isEmpty()) {
        return std::nullopt;
    }
    jpeg_decompress_struct in{};
    jpeg_compress_struct reference{};
    JpegErrorManager errors{};
    in.err = errors.install();
    reference.err = &errors.base;
    jpeg_create_decompress(&in);
    jpeg_create_compress(&reference);
    bool colour = true;
    const bool ok =
        qualifies(in, reference, errors, jpeg, pixels, std::clamp(quality, 1, 100), &colour);
    jpeg_destroy_compress(&reference);
    jpeg_destroy_decompress(&in);
    return ok ? std::optional<Layout>(Layout{colour}) : std::nullopt;
}
