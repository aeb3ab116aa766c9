#include "pages/JpegEncoder.h"

#include "pages/JpegErrorManager.h"
#include "pages/MonoBits.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include <jerror.h>

namespace {

constexpr std::size_t bufferSize = 256 * 1024;

// Destination writing to a QIODevice through a fixed buffer, or, without a
// device, only counting the bytes.
struct Destination {
    jpeg_destination_mgr base;
    QIODevice* device;
    JOCTET* buffer;
    qint64 flushed; // bytes that have left the buffer

    qint64 written() const { return flushed + qint64(bufferSize - base.free_in_buffer); }
};

void initDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->base.next_output_byte = destination->buffer;
    destination->base.free_in_buffer = bufferSize;
}

boolean emptyBuffer(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const auto length = qint64(bufferSize);
    if (destination->device &&
        destination->device->write(reinterpret_cast<const char*>(destination->buffer), length) !=
            length) {
        ERREXIT(info, JERR_FILE_WRITE);
    }
    destination->flushed += length;
    initDestination(info);
    return TRUE;
}

void termDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const auto length = qint64(bufferSize - destination->base.free_in_buffer);
    if (length > 0 && destination->device &&
        destination->device->write(reinterpret_cast<const char*>(destination->buffer), length) !=
            length) {
        ERREXIT(info, JERR_FILE_WRITE);
    }
    destination->flushed += length;
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

// How a run of libjpeg goes: written in full with tables optimised for the
// image, or with libjpeg's standard tables and stopped once `limit` bytes
// are out (a limit of 0 never stops).
struct Run {
    bool optimise = true;
    qint64 limit = 0;
    bool stopped = false;
};

// Runs libjpeg; free of objects with destructors because libjpeg reports
// errors by longjmp.
bool encode(jpeg_compress_struct& info, JpegErrorManager& errors, const QImage& image, Input input,
            double dpi, int quality, JpegEncoder::Chroma chroma, JSAMPLE* scratch, Run& run) {
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
    info.optimize_coding = run.optimise ? TRUE : FALSE;
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
        if (run.limit > 0 && reinterpret_cast<Destination*>(info.dest)->written() >= run.limit) {
            run.stopped = true;
            jpeg_abort_compress(&info);
            return true;
        }
    }
    jpeg_finish_compress(&info);
    return true;
}

std::optional<Input> inputOf(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Mono:
        return Input::mono;
    case QImage::Format_Grayscale8:
        return Input::grey;
    case QImage::Format_RGB32:
        return Input::rgb32;
    case QImage::Format_RGB888:
        return Input::rgb888;
    case QImage::Format_ARGB32:
        return Input::argb32;
    default:
        break;
    }
    return std::nullopt;
}

// Encodes to the device (or only counts, without one); nothing when libjpeg
// or the device reported an error, else whether the run was stopped at its
// limit.
std::optional<bool> compress(const QImage& image, QIODevice* device, double dpi, int quality,
                             JpegEncoder::Chroma chroma, Run run) {
    const std::optional<Input> input = inputOf(image);
    if (!input || image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
        return std::nullopt;
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
    destination.device = device;
    destination.buffer = buffer.data();
    info.dest = &destination.base;

    const bool ok = encode(info, errors, image, *input, dpi, std::clamp(quality, 1, 100), chroma,
                           scratch.data(), run);
    jpeg_destroy_compress(&info);
    return ok ? std::optional<bool>(run.stopped) : std::nullopt;
}

} // namespace

bool JpegEncoder::write(const QImage& image, QIODevice& device, double dpi, int quality,
                        Chroma chroma) {
    return compress(image, &device, dpi, quality, chroma, Run{}).has_value();
}

std::optional<bool> JpegEncoder::reaches(const QImage& image, int quality, qint64 bytes) {
    // Optimised tables take off a few per cent (6 to 11 on scanned pages of
    // text and of photographs); the standard ones must go this much further
    // to be sure of the size.
    constexpr double optimisedShare = 0.85;
    const auto limit = std::max<qint64>(1, qint64(double(bytes) / optimisedShare) + 1);
    return compress(image, nullptr, 0, quality, Chroma::halved, Run{false, limit, false});
}
