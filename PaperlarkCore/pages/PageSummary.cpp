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
