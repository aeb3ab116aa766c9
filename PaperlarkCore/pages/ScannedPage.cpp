#include "pages/ScannedPage.h"

#include "pages/BlankPageDetector.h"
#include "pages/DurableFile.h"
#include "pages/MonoBits.h"
#include "pages/PageSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double thumbnailMargin = 4;

// A box-filtered grey copy of a 1-bit or grey image, `factor` times smaller
// in each direction, so that the final smooth scaling works on a small image.
QImage reducedGrey(const QImage& image, int factor) {
    const int width = image.width() / factor, height = image.height() / factor;
    QImage result(width, height, QImage::Format_Grayscale8);
    if (result.isNull()) {
        return result;
    }
    const bool mono = image.format() == QImage::Format_Mono;
    std::vector<std::uint8_t> row(mono ? std::size_t(image.width()) : 0);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(width));
    const std::uint32_t area = std::uint32_t(factor) * std::uint32_t(factor);
    for (int y = 0; y < height * factor; ++y) {
        const std::uint8_t* grey = image.constScanLine(y);
        if (mono) {
            MonoBits::expandRow(grey, row.data(), image.width());
            grey = row.data();
        }
        for (int x = 0; x < width; ++x) {
            std::uint32_t sum = 0;
            for (int i = 0; i < factor; ++i) {
                sum += grey[x * factor + i];
            }
            sums[std::size_t(x)] += sum;
        }
        if (y % factor == factor - 1) {
            std::uint8_t* out = result.scanLine(y / factor);
            for (int x = 0; x < width; ++x) {
                out[x] = std::uint8_t((sums[std::size_t(x)] + area / 2) / area);
                sums[std::size_t(x)] = 0;
            }
        }
    }
    return result;
}

// The image scaled smoothly to the given size.
// The same for colour pages (RGB888 or RGB32), into RGB32: Qt's smooth
// scaling of a whole page costs some 80 ms at 300 dpi, the box sums a few.
QImage reducedColour(const QImage& image, int factor) {
    const int width = image.width() / factor, height = image.height() / factor;
    QImage result(width, height, QImage::Format_RGB32);
    if (result.isNull()) {
        return result;
    }
    // Bytes of one pixel, and where its red, green and blue lie among them.
    const bool packed = image.format() == QImage::Format_RGB888;
    const int step = packed ? 3 : 4;
    const int red = packed ? 0 : 2, blue = packed ? 2 : 0;
    std::vector<std::uint32_t> sums(std::size_t(width) * 3);
    const std::uint32_t area = std::uint32_t(factor) * std::uint32_t(factor);
    for (int y = 0; y < height * factor; ++y) {
        const std::uint8_t* pixel = image.constScanLine(y);
        for (std::size_t x = 0; x < std::size_t(width); ++x) {
            std::uint32_t r = 0, g = 0, b = 0;
            for (int i = 0; i < factor; ++i, pixel += step) {
                r += pixel[red];
                g += pixel[1];
                b += pixel[blue];
            }
            sums[3 * x] += r;
            sums[3 * x + 1] += g;
            sums[3 * x + 2] += b;
        }
        if (y % factor == factor - 1) {
            auto* out = reinterpret_cast<QRgb*>(result.scanLine(y / factor));
            for (std::size_t x = 0; x < std::size_t(width); ++x) {
                out[x] = qRgb(int((sums[3 * x] + area / 2) / area),
                              int((sums[3 * x + 1] + area / 2) / area),
                              int((sums[3 * x + 2] + area / 2) / area));
            }
            std::fill(sums.begin(), sums.end(), 0);
        }
    }
    return result;
}

QImage scaledForThumbnail(const QImage& image, QSize size) {
    QImage source = image;
    const int factor = std::max(
        1, std::min(image.width() / (2 * size.width()), image.height() / (2 * size.height())));
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_Grayscale8) {
        // Qt scales these through a full-size 32-bit copy (and keeps 1-bit
        // output 1-bit); reduce them in grey first.
        source = factor > 1 || image.format() == QImage::Format_Mono ? reducedGrey(image, factor)
                                                                     : image;
    } else if (factor > 1 && (image.format() == QImage::Format_RGB888 ||
                              image.format() == QImage::Format_RGB32)) {
        source = reducedColour(image, factor);
    }
    return source.isNull() ? source
                           : source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString localPath(const QUrl& url) {
    return url.toLocalFile();
}

// JPEG sources up to this size are read once into memory, decoded from there
// and, when that pays, kept in the cache as they are.
constexpr qint64 maxJpegCopyBytes = qint64{64} << 20;

// The bytes of a JPEG source, or nothing for other files and oversized ones.
std::optional<QByteArray> jpegBytes(const QUrl& source) {
    if (!source.isLocalFile() || !QFileInfo(source.toLocalFile()).isFile()) {
        return std::nullopt;
    }
    QFile file(source.toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxJpegCopyBytes ||
        file.peek(3) != QByteArrayLiteral("\xFF\xD8\xFF")) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(maxJpegCopyBytes + 1);
    if (bytes.size() > maxJpegCopyBytes) {
        return std::nullopt;
    }
    return bytes;
}

// Decoded JPEG pixels are noise to a lossless coder: as PNG they take four to
// five times the bytes of the JPEG they came from. The JPEG itself decodes to
// exactly the same pixels every time, so the cache keeps it unless it is
// unusually large for its pixels (at most half of their raw size).
bool worthKeepingAsJpeg(const QByteArray& bytes, const QImage& image) {
    const qint64 samples = qint64(image.width()) * image.height() *
                           (image.format() == QImage::Format_Grayscale8 ? 1 : 3);
    return bytes.size() <= samples / 2;
}

const QString pngSuffix = QStringLiteral(".png");
const QString jpegSuffix = QStringLiteral(".jpg");

// A page file written into the cache folder itself that carries its summary
// (see PageSummary) is already what the cache holds: it becomes the cache
// file by a rename, without being decoded and written again. The writer has
// synced its data; the rename is synced here. Null when the file is not such
// a file or cannot be renamed (the caller then copies it).
std::shared_ptr<ScannedPage> adopt(const QUrl& source, const QUrl& cacheFolder, int fallbackDpi) {
    if (!source.isLocalFile() || !cacheFolder.isLocalFile()) {
        return nullptr;
    }
    const QFileInfo file(source.toLocalFile());
    const QString folder = QDir::cleanPath(localPath(cacheFolder));
    if (!file.isFile() || file.isSymLink() || QDir::cleanPath(file.absolutePath()) != folder) {
        return nullptr;
    }
    std::optional<PageSummary::Stored> stored = PageSummary::read(file.absoluteFilePath());
    if (!stored) {
        return nullptr;
    }
    const QUrl cacheURL =
        QUrl::fromLocalFile(QDir(folder).filePath(ScannedPage::makeCacheFileName(pngSuffix)));
    if (std::rename(QFile::encodeName(file.absoluteFilePath()).constData(),
                    QFile::encodeName(localPath(cacheURL)).constData()) != 0) {
        return nullptr;
    }
    DurableFile::syncFolder(folder);
    return std::make_shared<ScannedPage>(QUuid::createUuid(), cacheURL, QSizeF(stored->size),
                                         stored->dpi.value_or(double(fallbackDpi)),
                                         std::move(stored->summary.thumbnail),
                                         stored->summary.inkShare);
}

} // namespace

ScannedPage::ScannedPage(QUuid id, QUrl cacheURL, QSizeF pixelSize, double dpi, QImage thumbnail,
                         std::optional<double> inkShare, int cacheTurns, QUrl textLayerURL)
    : id_(id), cacheURL_(std::move(cacheURL)), pixelSize_(pixelSize), dpi_(dpi),
      thumbnail_(std::move(thumbnail)), inkShare_(inkShare), cacheTurns_(cacheTurns & 3),
      textLayerURL_(std::move(textLayerURL)) {}

bool ScannedPage::looksBlank() const {
    return inkShare_ && BlankPageDetector::looksBlank(*inkShare_);
}

QString ScannedPage::Failure::description() const {
    return std::visit([](const auto& failure) { return failure.description(); }, reason);
}

Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>
ScannedPage::make(const QUrl& source, const QUrl& cacheFolder, int fallbackDpi,
                  bool removingSource) {
    if (auto failure = FolderFailure::createPath(cacheFolder)) {
        return Failure{*failure};
    }
    if (removingSource) {
        if (auto page = adopt(source, cacheFolder, fallbackDpi)) {
            return page;
        }
    }
    // A JPEG is read once: the bytes decoded are the bytes kept.
    const std::optional<QByteArray> jpeg = jpegBytes(source);
    auto decoded = jpeg ? ImageFile::decode(*jpeg, source, double(fallbackDpi))
                        : ImageFile::read(source, double(fallbackDpi));
    if (!decoded) {
        return Failure{decoded.failure()};
    }
    const QImage& image = decoded.value().image;
    const double dpi = decoded.value().dpi;
    const bool keepJpeg =
        jpeg && decoded.value().format == "jpeg" && worthKeepingAsJpeg(*jpeg, image);
    const QUrl cacheURL =
        QUrl::fromLocalFile(QDir(localPath(cacheFolder))
                                .filePath(makeCacheFileName(keepJpeg ? jpegSuffix : pngSuffix)));
    if (keepJpeg) {
        if (!DurableFile::write(localPath(cacheURL), *jpeg)) {
            return Failure{ImageFile::Failure::unwritable(cacheURL)};
        }
    } else if (auto written = ImageFile::writePNG(image, cacheURL, dpi); !written) {
        return Failure{written.failure()};
    }
    if (removingSource) {
        QFile::remove(localPath(source));
    }
    return std::make_shared<ScannedPage>(QUuid::createUuid(), cacheURL, QSizeF(image.size()), dpi,
                                         makeThumbnail(image),
                                         BlankPageDetector::inkShare(image, dpi));
}

Result<QImage, ImageFile::Failure> ScannedPage::loadFullImage() const {
    return loadImage(cacheURL_, dpi_, cacheTurns_);
}

Result<QImage, ImageFile::Failure> ScannedPage::loadImage(const QUrl& cacheURL, double dpi,
                                                          int cacheTurns) {
    auto decoded = ImageFile::read(cacheURL, dpi);
    if (!decoded) {
        return decoded.failure();
    }
    return ImageFile::rotate(decoded.value().image, cacheTurns);
}

std::optional<ScannedPage::Preview> ScannedPage::loadPreviewImage() const {
    auto image = loadFullImage();
    if (!image) {
        return std::nullopt;
    }
    const QSizeF size = previewDisplaySize(QSizeF(image.value().size()));
    return Preview{std::move(image.value()), size};
}

QSizeF ScannedPage::previewDisplaySize(const QSizeF& pixels) {
    if (pixels.height() <= maxPreviewHeight) {
        return pixels;
    }
    return {pixels.width() * maxPreviewHeight / pixels.height(), maxPreviewHeight};
}

Result<void, ImageFile::Failure> ScannedPage::rotate(int quarterTurnsClockwise) {
    QImage rotated;
    {
        auto decoded = ImageFile::read(cacheURL_, dpi_);
        if (!decoded) {
            return decoded.failure();
        }
        // One turn from the file's pixels to the result.
        auto result =
            ImageFile::rotate(decoded.value().image, cacheTurns_ + (quarterTurnsClockwise & 3));
        if (!result) {
            return result.failure();
        }
        rotated = std::move(result.value());
    } // the unrotated pixels are released here
    // A JPEG keeps its bytes (re-encoding would lose pixels, and a PNG of
    // them is four to five times larger): the turn is recorded instead.
    int cacheTurns = 0;
    if (localPath(cacheURL_).endsWith(jpegSuffix)) {
        cacheTurns = (cacheTurns_ + quarterTurnsClockwise) & 3;
    } else if (auto written = ImageFile::writePNG(rotated, cacheURL_, dpi_); !written) {
        return written.failure();
    }
    cacheTurns_ = cacheTurns;
    turnTextLayer(quarterTurnsClockwise);
    pixelSize_ = QSizeF(rotated.size());
    thumbnail_ = makeThumbnail(rotated);
    quarterTurns_ = (quarterTurns_ + quarterTurnsClockwise) & 3;
    ++revision_;
    return {};
}

void ScannedPage::discard() const {
    QFile::remove(localPath(cacheURL_));
    if (!textLayerURL_.isEmpty()) {
        QFile::remove(localPath(textLayerURL_));
    }
}

QUrl ScannedPage::textLayerURLFor(const QUrl& cacheURL) {
    const QFileInfo file(localPath(cacheURL));
    return QUrl::fromLocalFile(file.dir().filePath(file.completeBaseName() + ".pdf"));
}

void ScannedPage::turnTextLayer(int quarterTurnsClockwise) {
    if (textLayerURL_.isEmpty() || (quarterTurnsClockwise & 3) == 0) {
        return;
    }
    const QString path = localPath(textLayerURL_);
    QFile file(path);
    std::optional<TextLayer> turned;
    if (file.open(QIODevice::ReadOnly) && file.size() <= TextLayer::maxBytes) {
        turned = TextLayer{file.readAll()}.turned(quarterTurnsClockwise);
    }
    file.close();
    if (!turned || !DurableFile::write(path, turned->pdf)) {
        // A layer that no longer fits the page is worse than none.
        QFile::remove(path);
        textLayerURL_.clear();
    }
}

QString ScannedPage::description() const {
    return QStringLiteral("%1 x %2 px @ %3 dpi")
        .arg(qint64(std::trunc(pixelSize_.width())))
        .arg(qint64(std::trunc(pixelSize_.height())))
        .arg(qint64(std::round(dpi_)));
}

QImage ScannedPage::makeThumbnail(const QImage& image) {
    const double w = image.width(), h = image.height();
    QImage canvas(int(thumbnailWidth), int(thumbnailHeight), QImage::Format_RGB32);
    if (canvas.isNull() || image.isNull()) {
        return image;
    }
    const double scale = std::min((thumbnailHeight - 2 * thumbnailMargin) / h,
                                  (thumbnailWidth - 2 * thumbnailMargin) / w);
    const QRectF frame((thumbnailWidth - w * scale) * 0.5, (thumbnailHeight - h * scale) * 0.5,
                       w * scale, h * scale);
    const QImage scaled =
        scaledForThumbnail(image, QSize(std::max(1, int(std::lround(frame.width()))),
                                        std::max(1, int(std::lround(frame.height())))));
    if (scaled.isNull()) {
        return image;
    }
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.drawImage(frame, scaled);
    painter.setPen(QPen(QColor::fromRgbF(0.75f, 0.75f, 0.75f), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    painter.end();
    return canvas;
}

QString ScannedPage::makeCacheFileName(const QString& suffix) {
    return QStringLiteral("page_%1").arg(
               QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()) +
           suffix;
}

QUrl ScannedPage::rotatedCacheURL(const QUrl& cacheURL) {
    QString path = localPath(cacheURL);
    if (path.endsWith(jpegSuffix)) {
        path.chop(jpegSuffix.size());
        path += pngSuffix;
    }
    return QUrl::fromLocalFile(path);
}
