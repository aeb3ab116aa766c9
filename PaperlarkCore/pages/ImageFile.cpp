#include "pages/ImageFile.h"

#include "pages/DurableFile.h"
#include "pages/ImageHeader.h"
#include "pages/JpegEncoder.h"
#include "pages/MonoBits.h"
#include "pages/PageRule.h"
#include "pages/PngEncoder.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

// Qt's own decoding limit, in MiB: above what read() lets through (checked
// from the header first), kept as a second guard for headers that lie.
constexpr int qtAllocationLimitMiB = 1024 + 128;

bool isBlackAndWhite(const QList<QRgb>& table) {
    if (table.size() != 2) {
        return false;
    }
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    const QRgb first = table[0] | 0xff000000u, second = table[1] | 0xff000000u;
    return qAlpha(table[0]) == 255 && qAlpha(table[1]) == 255 &&
           ((first == black && second == white) || (first == white && second == black));
}

bool isGreyOpaque(const QList<QRgb>& table) {
    return std::all_of(table.begin(), table.end(), [](QRgb c) {
        return qAlpha(c) == 255 && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
    });
}

} // namespace

QImage ImageFile::normalised(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        const QList<QRgb> table = image.colorTable();
        if (!isBlackAndWhite(table)) {
            return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                 : QImage::Format_RGB32);
        }
        QImage mono = image.convertToFormat(QImage::Format_Mono);
        if ((table[0] & 0xffffffu) != 0) { // index 0 is white: make 0 black
            mono.invertPixels();
        }
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        return mono;
    }
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return image;
    case QImage::Format_Grayscale16:
        return image.convertToFormat(QImage::Format_Grayscale8);
    case QImage::Format_Indexed8:
        if (isGreyOpaque(image.colorTable())) {
            return image.convertToFormat(QImage::Format_Grayscale8);
        }
        break;
    default:
        break;
    }
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

namespace {

Result<void, ImageFile::Failure> writeReplacing(const QUrl& url, auto&& encode) {
    if (!url.isLocalFile()) {
        return ImageFile::Failure::unwritable(url);
    }
    DurableFile file(url.toLocalFile());
    if (!file.isOpen() || !encode(file.device()) || !file.commit()) {
        return ImageFile::Failure::unwritable(url);
    }
    return {};
}

// Decodes from a random-access device positioned at the start of the data.
Result<ImageFile::Decoded, ImageFile::Failure> decodeDevice(QIODevice& device, const QUrl& url,
                                                            double fallbackDpi) {
    const auto unreadable = ImageFile::Failure::unreadable(url);
    // What the file states about itself, before any pixel is decoded.
    const ImageHeader header = ImageHeader::parse(device);
    if (!header.complete || !device.seek(0)) {
        return unreadable;
    }

    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(qtAllocationLimitMiB);
        return true;
    }();
    Q_UNUSED(limitSet);
    QImageReader reader(&device);
    const QByteArray format = reader.format();
    if (!PageRule::isImportFormat(format)) {
        return unreadable;
    }
    const QSize size = reader.size();
    const std::optional<double> dpi = PageRule::resolution(header.dpi, fallbackDpi);
    if (!PageRule::fitsSize(size) || !dpi) {
        return unreadable;
    }
    QImage image;
    if (!reader.read(&image) || image.isNull() || image.size() != size) {
        return unreadable;
    }
    image = ImageFile::normalised(image);
    if (image.isNull()) {
        return unreadable;
    }
    return ImageFile::Decoded{std::move(image), *dpi,
                              format == "jpg"   ? QByteArray("jpeg")
                              : format == "tif" ? QByteArray("tiff")
                                                : format};
}

} // namespace

QString ImageFile::Failure::description() const {
    switch (kind) {
    case Kind::unreadable:
        return QStringLiteral("Could not read the image at %1.").arg(url.fileName());
    case Kind::unwritable:
        return QStringLiteral("Could not write %1.").arg(url.fileName());
    case Kind::badContext:
        break;
    }
    return QStringLiteral("Could not create a drawing context for the page.");
}

Result<ImageFile::Decoded, ImageFile::Failure> ImageFile::read(const QUrl& url,
                                                               double fallbackDpi) {
    const Failure unreadable = Failure::unreadable(url);
    if (!url.isLocalFile()) {
        return unreadable;
    }
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile()) { // folders, devices, pipes
        return unreadable;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) {
        return unreadable;
    }
    return decodeDevice(file, url, fallbackDpi);
}

Result<ImageFile::Decoded, ImageFile::Failure>
ImageFile::decode(const QByteArray& bytes, const QUrl& url, double fallbackDpi) {
    if (bytes.isEmpty()) {
        return Failure::unreadable(url);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return Failure::unreadable(url);
    }
    return decodeDevice(buffer, url, fallbackDpi);
}

Result<void, ImageFile::Failure> ImageFile::writePNG(const QImage& image, const QUrl& url,
                                                     double dpi, int compression) {
    return writeReplacing(
        url, [&](QIODevice& device) { return encodePNG(image, device, dpi, compression); });
}

Result<void, ImageFile::Failure> ImageFile::writeJPEG(const QImage& image, const QUrl& url,
                                                      double dpi, int quality) {
    return writeReplacing(
        url, [&](QIODevice& device) { return encodeJPEG(image, device, dpi, quality); });
}

bool ImageFile::encodePNG(const QImage& image, QIODevice& device, double dpi, int compression) {
    const QImage source = normalised(image);
    return !source.isNull() && PngEncoder::write(source, device, dpi, compression);
}

bool ImageFile::encodeJPEG(const QImage& image, QIODevice& device, double dpi, int quality) {
    const QImage source = normalised(image);
    return !source.isNull() && JpegEncoder::write(source, device, dpi, jpegLibraryQuality(quality));
}

int ImageFile::jpegLibraryQuality(int percent) {
    return std::clamp(percent, 10, 100);
}

Result<QImage, ImageFile::Failure> ImageFile::rotate(const QImage& image,
                                                     int quarterTurnsClockwise) {
    const int turns = quarterTurnsClockwise & 3;
    if (turns == 0) {
        return image;
    }
    const QImage source = flattened(normalised(image));
    if (source.isNull()) {
        return Failure::badContext();
    }
    const QTransform rotation = QTransform().rotate(90.0 * turns);
    QImage rotated;
    if (source.format() == QImage::Format_Mono) {
        // Qt rotates 1-bit images pixel by pixel; 8-bit grey has a fast path.
        const QImage grey = MonoBits::toGrey(source);
        if (!grey.isNull()) {
            rotated = MonoBits::fromGrey(grey.transformed(rotation));
        }
    } else {
        rotated = source.transformed(rotation);
    }
    if (rotated.isNull()) {
        return Failure::badContext();
    }
    return rotated;
}

QImage ImageFile::flattened(const QImage& image) {
    if (!image.hasAlphaChannel()) {
        return image;
    }
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    if (result.isNull()) {
        return result;
    }
    for (int y = 0; y < result.height(); ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb p = pixels[x];
            const int a = qAlpha(p);
            const auto blend = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            pixels[x] = qRgb(blend(qRed(p)), blend(qGreen(p)), blend(qBlue(p)));
        }
    }
    result.reinterpretAsFormat(QImage::Format_RGB32);
    return result;
}
