#include "pages/PngEncoder.h"

#include <QIODevice>
#include <QtEndian>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>

namespace {

void writeData(png_structp png, png_bytep data, png_size_t length) {
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
        png_error(png, "write failed");
    }
}

void flushData(png_structp) {}

void raiseError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

struct Layout {
    int colourType;
    int bitDepth;
    bool fourBytes; // 32-bit pixels whose byte order libpng has to adjust
    bool alpha;
};

// Runs libpng; kept free of objects with destructors because libpng reports
// errors by longjmp.
bool encode(png_structp png, png_infop info, const QImage& image, const Layout& layout, double dpi,
            int compression) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()),
                 layout.bitDepth, layout.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, compression);
    // Unfiltered when storing; otherwise the two cheap filters, which on
    // scanned pages compress as well as trying all five, at a third of the time.
    png_set_filter(png, PNG_FILTER_TYPE_BASE,
                   compression == 0 ? PNG_FILTER_NONE : PNG_FILTER_SUB | PNG_FILTER_UP);
    png_set_compression_buffer_size(png, 256 * 1024);
    if (dpi > 1.0) {
        const auto perMetre = png_uint_32(std::lround(dpi / 0.0254));
        png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    if (layout.fourBytes) {
        // QImage keeps 0xAARRGGBB in native byte order.
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            png_set_bgr(png);
            if (!layout.alpha) {
                png_set_filler(png, 0, PNG_FILLER_AFTER);
            }
        } else if (layout.alpha) {
            png_set_swap_alpha(png);
        } else {
            png_set_filler(png, 0, PNG_FILLER_BEFORE);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        png_write_row(png, image.constScanLine(y));
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool PngEncoder::write(const QImage& image, QIODevice& device, double dpi, int compression) {
    Layout layout{};
    switch (image.format()) {
    case QImage::Format_Mono:
        layout = {PNG_COLOR_TYPE_GRAY, 1, false, false};
        break;
    case QImage::Format_Grayscale8:
        layout = {PNG_COLOR_TYPE_GRAY, 8, false, false};
        break;
    case QImage::Format_RGB32:
        layout = {PNG_COLOR_TYPE_RGB, 8, true, false};
        break;
    case QImage::Format_ARGB32:
        layout = {PNG_COLOR_TYPE_RGB_ALPHA, 8, true, true};
        break;
    default:
        return false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, raiseError, ignoreWarning);
    if (!png) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (info) {
        png_set_write_fn(png, &device, writeData, flushData);
        ok = encode(png, info, image, layout, dpi, std::clamp(compression, 0, 9));
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}
