#include "pages/PageSummary.h"

#include "pages/BlankPageDetector.h"
#include "pages/ImageHeader.h"
#include "pages/PageRule.h"
#include "pages/ScannedPage.h"

#include <QFile>
#include <QtEndian>

#include <libdeflate.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char signature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype signatureBytes = 8;
constexpr std::uint8_t version = 1;
constexpr int thumbnailWidth = int(ScannedPage::thumbnailWidth);
constexpr int thumbnailHeight = int(ScannedPage::thumbnailHeight);
// Version, ink share, then the thumbnail's RGB samples row by row.
constexpr qsizetype summaryBytes = 1 + 8 + qsizetype(thumbnailWidth) * thumbnailHeight * 3;
// The summary comes before the image data, right after the header chunks:
// this much of the file holds it.
constexpr qint64 headBytes = 256 * 1024;

quint32 bigEndian32(const char* at) {
    return qFromBigEndian<quint32>(at);
}

// Bit depth and colour type as PngEncoder writes them: 1-bit or 8-bit grey,
// 8-bit RGB and RGBA.
bool isEncoderLayout(std::uint8_t depth, std::uint8_t colour) {
    return (colour == 0 && (depth == 1 || depth == 8)) ||
           ((colour == 2 || colour == 6) && depth == 8);
}

std::optional<PageSummary> parseSummary(const char* data, qsizetype length) {
    if (length != summaryBytes || std::uint8_t(data[0]) != version) {
        return std::nullopt;
    }
    const quint64 bits = qFromBigEndian<quint64>(data + 1);
    double ink = 0;
    std::memcpy(&ink, &bits, sizeof ink);
    if (!std::isfinite(ink) || ink < 0 || ink > 1) {
        return std::nullopt;
    }
    QImage thumbnail(thumbnailWidth, thumbnailHeight, QImage::Format_RGB32);
    if (thumbnail.isNull()) {
        return std::nullopt;
    }
    const auto* samples = reinterpret_cast<const std::uint8_t*>(data + 9);
    for (int y = 0; y < thumbnailHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(thumbnail.scanLine(y));
        for (int x = 0; x < thumbnailWidth; ++x, samples += 3) {
            row[x] = qRgb(samples[0], samples[1], samples[2]);
        }
    }
    return PageSummary{std::move(thumbnail), ink};
}

} // namespace

PageSummary PageSummary::of(const QImage& image, double dpi) {
    return {ScannedPage::makeThumbnail(image), BlankPageDetector::inkShare(image, dpi)};
}

std::optional<PngEncoder::Chunk> PageSummary::chunk() const {
    if (thumbnail.size() != QSize(thumbnailWidth, thumbnailHeight) || !std::isfinite(inkShare)) {
        return std::nullopt;
    }
    const QImage rgb = thumbnail.convertToFormat(QImage::Format_RGB32);
    QByteArray data(summaryBytes, Qt::Uninitialized);
    data[0] = char(version);
    quint64 bits = 0;
    std::memcpy(&bits, &inkShare, sizeof bits);
    qToBigEndian(bits, data.data() + 1);
    auto* out = reinterpret_cast<std::uint8_t*>(data.data() + 9);
    for (int y = 0; y < thumbnailHeight; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < thumbnailWidth; ++x) {
            *out++ = std::uint8_t(qRed(row[x]));
            *out++ = std::uint8_t(qGreen(row[x]));
            *out++ = std::uint8_t(qBlue(row[x]));
        }
    }
    return PngEncoder::Chunk{QByteArray(chunkType), std::move(data)};
}

std::optional<PageSummary::Stored> PageSummary::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray head = file.read(headBytes);
    if (!head.startsWith(QByteArrayView(signature, signatureBytes))) {
        return std::nullopt;
    }
    Stored stored;
    std::optional<PageSummary> summary;
    bool headerSeen = false;
    qsizetype at = signatureBytes;
    // Chunks up to the image data: length, type, data, CRC.
    while (at + 12 <= head.size()) {
        const quint32 length = bigEndian32(head.constData() + at);
        const char* type = head.constData() + at + 4;
        const char* data = type + 4;
        if (length > quint32(head.size() - at - 12)) {
            return std::nullopt;
        }
        const QByteArrayView name(type, 4);
        if (name == "IDAT" || name == "IEND") {
            break;
        }
        if (!headerSeen) {
            // IHDR first: size, bit depth, colour type, compression, filter, interlace.
            if (name != "IHDR" || length != 13) {
                return std::nullopt;
            }
            stored.size = QSize(int(std::min<quint32>(bigEndian32(data), INT32_MAX)),
                                int(std::min<quint32>(bigEndian32(data + 4), INT32_MAX)));
            const auto* fields = reinterpret_cast<const std::uint8_t*>(data + 8);
            if (!PageRule::fitsSize(stored.size) || !isEncoderLayout(fields[0], fields[1]) ||
                fields[2] != 0 || fields[3] != 0 || fields[4] != 0) {
                return std::nullopt;
            }
            headerSeen = true;
        } else if (name == "pHYs" && length == 9 && data[8] == 1) {
            const double dpi = ImageHeader::dpiFromDotsPer(bigEndian32(data), 1.0);
            if (dpi > 1) {
                if (!PageRule::resolution(dpi, 0)) {
                    return std::nullopt;
                }
                stored.dpi = dpi;
            }
        } else if (name == chunkType) {
            const quint32 crc = bigEndian32(data + length);
            if (libdeflate_crc32(0, type, 4 + std::size_t(length)) != crc) {
                return std::nullopt;
            }
            summary = parseSummary(data, qsizetype(length));
        }
        at += 12 + qsizetype(length);
    }
    if (!headerSeen || !summary) {
        return std::nullopt;
    }
    stored.summary = std::move(*summary);
    return stored;
}

namespace {

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

} // namespace

std::optional<PageSummary::Stored> PageSummary::verified(QByteArray file) {
    if (!file.startsWith(QByteArrayView(signature, signatureBytes))) {
        return std::nullopt;
    }
    // The chunks in the order the page writer gives them.
    enum class Next { header, resolution, summary, data, end };
    Next next = Next::header;
    Stored stored;
    std::optional<PageSummary> summary;
    std::uint8_t depth = 0, colour = 0;
    char* const bytes = file.data();
    // The image data is gathered at the start of the buffer, over the chunks
    // already read.
    qsizetype packed = 0;
    qsizetype at = signatureBytes;
    while (next != Next::end) {
        if (file.size() - at < 12) {
            return std::nullopt;
        }
        const quint32 length = bigEndian32(bytes + at);
        if (length > quint32(file.size() - at - 12)) {
            return std::nullopt;
        }
        const char* type = bytes + at + 4;
        const char* data = type + 4;
        if (libdeflate_crc32(0, type, 4 + std::size_t(length)) != bigEndian32(data + length)) {
            return std::nullopt;
        }
        const QByteArrayView name(type, 4);
        if (next == Next::header) {
            if (name != "IHDR" || length != 13) {
                return std::nullopt;
            }
            stored.size = QSize(int(std::min<quint32>(bigEndian32(data), INT32_MAX)),
                                int(std::min<quint32>(bigEndian32(data + 4), INT32_MAX)));
            depth = std::uint8_t(data[8]);
            colour = std::uint8_t(data[9]);
            const bool layout =
                (colour == 0 && (depth == 1 || depth == 8)) || (colour == 2 && depth == 8);
            if (!layout || data[10] != 0 || data[11] != 0 || data[12] != 0 ||
                !PageRule::fitsSize(stored.size)) {
                return std::nullopt;
            }
            next = Next::resolution;
        } else if (next == Next::resolution && name == "pHYs") {
            const quint32 x = bigEndian32(data), y = bigEndian32(data + 4);
            if (length != 9 || data[8] != 1 || x != y) {
                return std::nullopt;
            }
            const double dpi = ImageHeader::dpiFromDotsPer(x, 1.0);
            if (!PageRule::resolution(dpi, 0)) {
                return std::nullopt;
            }
            if (dpi > 1) {
                stored.dpi = dpi;
            }
            next = Next::summary;
        } else if (next <= Next::summary && name == chunkType) {
            summary = parseSummary(data, qsizetype(length));
            if (!summary) {
                return std::nullopt;
            }
            next = Next::data;
        } else if (next == Next::data && name == "IDAT") {
            std::memmove(bytes + packed, data, length);
            packed += qsizetype(length);
        } else if (next == Next::data && name == "IEND" && packed > 0 && length == 0 &&
                   at + 12 == file.size()) {
            next = Next::end;
        } else {
            return std::nullopt;
        }
        at += 12 + qsizetype(length);
    }

    // Exactly the rows the header declares, each led by a filter the page
    // writer uses (none or up).
    const std::size_t width = std::size_t(stored.size.width());
    const std::size_t height = std::size_t(stored.size.height());
    const std::size_t rowBytes = depth == 1 ? (width + 7) / 8 : width * (colour == 2 ? 3 : 1);
    const std::size_t stride = rowBytes + 1;
    // The image below looks at the rows past their filter bytes, so its last
    // row (a whole stride, as Qt copies it) ends one byte after the data: that
    // byte is allocated too.
    const std::unique_ptr<std::uint8_t[]> raw(new (std::nothrow) std::uint8_t[stride * height + 1]);
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!raw || !decompressor) {
        return std::nullopt;
    }
    raw[stride * height] = 0;
    std::size_t consumed = 0, produced = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), bytes, std::size_t(packed), raw.get(),
                                      stride * height, &consumed,
                                      &produced) != LIBDEFLATE_SUCCESS ||
        consumed != std::size_t(packed) || produced != stride * height) {
        return std::nullopt;
    }
    file = QByteArray();
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = raw.get() + y * stride;
        if (row[0] == 2 && y > 0) {
            const std::uint8_t* above = row - stride;
            for (std::size_t i = 1; i <= rowBytes; ++i) {
                row[i] = std::uint8_t(row[i] + above[i]);
            }
        } else if (row[0] != 0 && row[0] != 2) {
            return std::nullopt;
        }
    }
    const QImage::Format format = depth == 1    ? QImage::Format_Mono
                                  : colour == 2 ? QImage::Format_RGB888
                                                : QImage::Format_Grayscale8;
    QImage pixels(raw.get() + 1, int(width), int(height), qsizetype(stride), format);
    if (pixels.isNull()) {
        return std::nullopt;
    }
    if (format == QImage::Format_Mono) {
        pixels.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    // What the page list would show, worked out from the pixels themselves.
    const PageSummary actual = of(pixels, stored.dpi.value_or(0));
    if (actual.inkShare != summary->inkShare || actual.thumbnail != summary->thumbnail) {
        return std::nullopt;
    }
    stored.summary = std::move(*summary);
    return stored;
}
