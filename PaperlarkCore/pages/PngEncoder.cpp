#include "pages/PngEncoder.h"

#include <QIODevice>
#include <QtEndian>

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char signature[] = "\x89PNG\r\n\x1a\n";
// IDAT chunks are cut at this size; readers need not hold more at once.
constexpr std::size_t idatChunkBytes = std::size_t{1} << 20;

struct Layout {
    std::uint8_t colourType;
    std::uint8_t bitDepth;
    std::size_t samplesPerPixel; // bytes per pixel for 8-bit samples
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

template <typename T> std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

void putBigEndian(std::uint8_t* out, std::uint32_t value) {
    qToBigEndian(value, out);
}

bool writeChunk(QIODevice& device, const char type[4], const std::uint8_t* data,
                std::size_t length) {
    std::uint8_t head[8];
    putBigEndian(head, std::uint32_t(length));
    std::memcpy(head + 4, type, 4);
    std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (length > 0) { // a null buffer would restart the sum
        crc = libdeflate_crc32(crc, data, length);
    }
    std::uint8_t tail[4];
    putBigEndian(tail, crc);
    return device.write(reinterpret_cast<const char*>(head), 8) == 8 &&
           (length == 0 ||
            device.write(reinterpret_cast<const char*>(data), qint64(length)) == qint64(length)) &&
           device.write(reinterpret_cast<const char*>(tail), 4) == 4;
}

// One row as PNG samples: RGB(A) bytes from Qt's native 0xAARRGGBB words;
// grey, 1-bit and RGB888 rows are PNG samples already.
const std::uint8_t* packRow(const QImage& image, int y, const Layout& layout,
                            std::uint8_t* scratch) {
    const uchar* line = image.constScanLine(y);
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        return line;
    }
    const auto* pixels = reinterpret_cast<const QRgb*>(line);
    const bool alpha = layout.samplesPerPixel == 4;
    std::uint8_t* out = scratch;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb p = pixels[x];
        *out++ = std::uint8_t(qRed(p));
        *out++ = std::uint8_t(qGreen(p));
        *out++ = std::uint8_t(qBlue(p));
        if (alpha) {
            *out++ = std::uint8_t(qAlpha(p));
        }
    }
    return scratch;
}

} // namespace

bool PngEncoder::write(const QImage& image, QIODevice& device, double dpi, int compression,
                       const ExtraChunks& extra) {
    Layout layout{};
    switch (image.format()) {
    case QImage::Format_Mono:
        layout = {0, 1, 1};
        break;
    case QImage::Format_Grayscale8:
        layout = {0, 8, 1};
        break;
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
        layout = {2, 8, 3};
        break;
    case QImage::Format_ARGB32:
        layout = {6, 8, 4};
        break;
    default:
        return false;
    }
    if (image.isNull()) {
        return false;
    }
    const int level = std::clamp(compression, 0, 12);
    const std::size_t width = std::size_t(image.width()), height = std::size_t(image.height());
    const std::size_t rowBytes =
        layout.bitDepth == 1 ? (width + 7) / 8 : width * layout.samplesPerPixel;
    const bool up = level > 0 && layout.bitDepth == 8;

    // Filtered rows, each led by its filter type byte.
    const std::size_t rawBytes = (rowBytes + 1) * height;
    auto raw = allocate<std::uint8_t>(rawBytes);
    auto scratch = allocate<std::uint8_t>(2 * rowBytes);
    if (!raw || !scratch) {
        return false;
    }
    // The Up filter subtracts the row above; the first row has zeros above it.
    std::uint8_t* const rows[2] = {scratch.get(), scratch.get() + rowBytes};
    const std::uint8_t* previous = nullptr;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* out = raw.get() + y * (rowBytes + 1);
        const std::uint8_t* current = packRow(image, int(y), layout, rows[y & 1]);
        if (up && previous) {
            out[0] = 2;
            for (std::size_t i = 0; i < rowBytes; ++i) {
                out[1 + i] = std::uint8_t(current[i] - previous[i]);
            }
        } else {
            out[0] = up ? 2 : 0;
            std::memcpy(out + 1, current, rowBytes);
        }
        previous = current;
    }
    scratch.reset();

    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(level));
    if (!compressor) {
        return false;
    }
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rawBytes);
    auto packed = allocate<std::uint8_t>(bound);
    if (!packed) {
        return false;
    }
    const std::size_t packedBytes =
        libdeflate_zlib_compress(compressor.get(), raw.get(), rawBytes, packed.get(), bound);
    raw.reset();
    if (packedBytes == 0) {
        return false;
    }

    std::uint8_t header[13];
    putBigEndian(header, std::uint32_t(width));
    putBigEndian(header + 4, std::uint32_t(height));
    header[8] = layout.bitDepth;
    header[9] = layout.colourType;
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering
    header[12] = 0; // not interlaced
    if (device.write(signature, 8) != 8 || !writeChunk(device, "IHDR", header, sizeof header)) {
        return false;
    }
    if (dpi > 1.0) {
        std::uint8_t density[9];
        const auto perMetre = std::uint32_t(std::lround(dpi / 0.0254));
        putBigEndian(density, perMetre);
        putBigEndian(density + 4, perMetre);
        density[8] = 1; // metres
        if (!writeChunk(device, "pHYs", density, sizeof density)) {
            return false;
        }
    }
    for (const Chunk& chunk : extra ? extra() : QList<Chunk>()) {
        if (chunk.type.size() != 4 ||
            !writeChunk(device, chunk.type.constData(),
                        reinterpret_cast<const std::uint8_t*>(chunk.data.constData()),
                        std::size_t(chunk.data.size()))) {
            return false;
        }
    }
    for (std::size_t at = 0; at < packedBytes; at += idatChunkBytes) {
        if (!writeChunk(device, "IDAT", packed.get() + at,
                        std::min(idatChunkBytes, packedBytes - at))) {
            return false;
        }
    }
    return writeChunk(device, "IEND", nullptr, 0);
}
