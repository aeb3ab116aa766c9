#include "pages/JpegEncoder.h"

#include "pages/JpegErrorManager.h"
#include "pages/MonoBits.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <jerror.h>

namespace {

constexpr std::size_t bufferSize = 256 * 1024;

// Destination writing to a QIODevice through a fixed buffer.
struct Destination {
    jpeg_destination_mgr base;
    QIODevice* device;
    JOCTET* buffer;
};

void initDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->base.next_output_byte = destination->buffer;
    destination->base.free_in_buffer = bufferSize;
}

boolean emptyBuffer(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const auto length = qint64(bufferSize);
    if (destination->device->write(reinterpret_cast<const char*>(destination->buffer), length) !=
        length) {
        ERREXIT(info, JERR_FILE_WRITE);
    }
    initDestination(info);
    return TRUE;
}

void termDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const auto length = qint64(bufferSize - destination->base.free_in_buffer);
    if (length > 0 && destination->device->write(reinterpret_cast<const char*>(destination->buffer),
                                                 length) != length) {
        ERREXIT(info, JERR_FILE_WRITE);
    }
}

enum class Input { mono, grey, rgb32, rgb888, argb32 };

// One row in the layout libjpeg was told about.
const JSAMPLE* prepareRow(const QImage& image, Input input, int y, JSAMPLE* scratch) {
    const uchar* line = image.constScanLine(y);
    switch (input) {
    case Input::mono:
        MonoBits::expandRow(line, scratch, image.width());
        return scratch;
    case Input::argb32: {
        const auto* pixels = reinterpret_cast<const QRgb*>(line);
        auto* out = reinterpret_cast<QRgb*>(scratch);
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = pixels[x];
            const int a = qAlpha(p);
            const auto blend = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            out[x] = qRgb(blend(qRed(p)), blend(qGreen(p)), blend(qBlue(p)));
        }
        return scratch;
    }
    case Input::grey:
    case Input::rgb32:
    case Input::rgb888:
        break;
    }
    return line;
}

// Runs libjpeg; free of objects with destructors because libjpeg reports
// errors by longjmp.
bool encode(jpeg_compress_struct& info, JpegErrorManager& errors, const QImage& image, Input input,
            double dpi, int quality, JpegEncoder::Chroma chroma, JSAMPLE* scratch) {
    if (setjmp(errors.jump)) {
        return false;
    }
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    const bool grey = input == Input::mono || input == Input::grey;
    if (grey) {
        info.input_components = 1;
        info.in_color_space = JCS_GRAYSCALE;
    } else if (input == Input::rgb888) {
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
    } else {
        info.input_components = 4;
        info.in_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (!grey && chroma == JpegEncoder::Chroma::full) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    info.optimize_coding = TRUE;
    info.write_JFIF_header = TRUE;
    if (dpi > 1.0) {
        const auto density = UINT16(std::min(std::lround(dpi), 65535L));
        info.density_unit = 1;
        info.X_density = density;
        info.Y_density = density;
    } else {
        info.density_unit = 0;
        info.X_density = 1;
        info.Y_density = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPLE*>(prepareRow(image, input, int(info.next_scanline), scratch));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

bool JpegEncoder::write(const QImage& image, QIODevice& device, double dpi, int quality,
                        Chroma chroma) {
    Input input;
    switch (image.format()) {
    case QImage::Format_Mono:
        input = Input::mono;
        break;
    case QImage::Format_Grayscale8:
        input = Input::grey;
        break;
    case QImage::Format_RGB32:
        input = Input::rgb32;
        break;
    case QImage::Format_RGB888:
        input = Input::rgb888;
        break;
    case QImage::Format_ARGB32:
        input = Input::argb32;
        break;
    default:
        return false;
    }
    if (image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
        return false;
    }
    std::vector<JOCTET> buffer(bufferSize);
    std::vector<JSAMPLE> scratch(std::size_t(image.width()) * 4);

    jpeg_compress_struct info{};
    JpegErrorManager errors{};
    info.err = errors.install();
    jpeg_create_compress(&info);

    Destination destination{};
    destination.base.init_destination = initDestination;
    destination.base.empty_output_buffer = emptyBuffer;
    destination.base.term_destination = termDestination;
    destination.device = &device;
    destination.buffer = buffer.data();
    info.dest = &destination.base;

    const bool ok = encode(info, errors, image, input, dpi, std::clamp(quality, 1, 100), chroma,
                           scratch.data());
    jpeg_destroy_compress(&info);
    return ok;
}
