#include "pages/PdfImage.h"

#include "pages/CcittG4.h"
#include "pages/ImageFile.h"
#include "pages/JpegPassThrough.h"

#include <QBuffer>

#include <zlib.h>

#include <vector>

namespace {

// The image's rows, each padded to a whole byte, deflated.
QByteArray flateBits(const QImage& mono) {
    const auto rowBytes = std::size_t((mono.width() + 7) / 8);
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        return {};
    }
    QByteArray out;
    std::vector<unsigned char> chunk(64 * 1024);
    bool ok = true;
    for (int y = 0; ok && y <= mono.height(); ++y) {
        const bool last = y == mono.height();
        stream.next_in = last ? nullptr : const_cast<uchar*>(mono.constScanLine(y));
        stream.avail_in = last ? 0 : uInt(rowBytes);
        do {
            stream.next_out = chunk.data();
            stream.avail_out = uInt(chunk.size());
            const int status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            out.append(reinterpret_cast<const char*>(chunk.data()),
                       qsizetype(chunk.size() - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return ok ? out : QByteArray();
}

// Data in zlib's format, as FlateDecode reads it; empty on failure.
QByteArray deflate(const QByteArray& data) {
    uLongf length = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(length), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    out.truncate(qsizetype(length));
    return out;
}

} // namespace

PdfImage PdfImage::jpeg(const QImage& image, double dpi, int qualityPercent) {
    PdfImage result;
    QBuffer buffer(&result.data);
    buffer.open(QIODevice::WriteOnly);
    if (!ImageFile::encodeJPEG(image, buffer, dpi, qualityPercent)) {
        return {};
    }
    const bool grey =
        image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Mono;
    result.pixels = image.size();
    result.colours = grey ? Colours::grey : Colours::rgb;
    return result;
}

PdfImage PdfImage::fromJpeg(const QByteArray& jpeg, QSize pixels, int qualityPercent) {
    const auto layout =
        JpegPassThrough::check(jpeg, pixels, ImageFile::jpegLibraryQuality(qualityPercent));
    if (!layout) {
        return {};
    }
    PdfImage result;
    result.data = jpeg;
    result.pixels = pixels;
    result.colours = layout->colour ? Colours::rgb : Colours::grey;
    return result;
}

namespace {

// The image as CCITT G4, deflated once more where that makes it smaller.
PdfImage ccitt(const QImage& image) {
    PdfImage result;
    result.pixels = image.size();
    result.colours = PdfImage::Colours::grey;
    result.bitsPerComponent = 1;
    result.data = CcittG4::encode(image);
    result.filter = PdfImage::Filter::ccittG4;
    // G4 codes each row against the one above, but its codes still repeat
    // (the same letters, the gaps between lines): on a page of text, Flate
    // takes a further seventh off them.
    if (QByteArray packed = deflate(result.data);
        !packed.isEmpty() && packed.size() < result.data.size()) {
        result.data = std::move(packed);
        result.deflated = true;
    }
    return result;
}

} // namespace

PdfImage PdfImage::mono(const QImage& image) {
    if (image.format() != QImage::Format_Mono) {
        return {};
    }
    PdfImage result = ccitt(image);
    QByteArray flate = flateBits(image);
    if (result.data.isEmpty() || (!flate.isEmpty() && flate.size() < result.data.size())) {
        result.data = std::move(flate);
        result.filter = Filter::flate;
        result.deflated = false;
    }
    return result;
}

PdfImage PdfImage::mask(const QImage& image) {
    if (image.format() != QImage::Format_Mono) {
        return {};
    }
    PdfImage result = ccitt(image);
    if (result.data.isEmpty()) {
        result.data = flateBits(image);
        result.filter = Filter::flate;
        result.deflated = false;
    }
    return result;
}
