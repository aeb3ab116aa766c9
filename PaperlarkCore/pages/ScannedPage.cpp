#include "pages/ScannedPage.h"

#include "pages/MonoBits.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>
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
QImage scaledForThumbnail(const QImage& image, QSize size) {
    QImage source = image;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_Grayscale8) {
        // Qt scales these through a full-size 32-bit copy (and keeps 1-bit
        // output 1-bit); reduce them in grey first.
        const int factor = std::max(
            1, std::min(image.width() / (2 * size.width()), image.height() / (2 * size.height())));
        source = factor > 1 || image.format() == QImage::Format_Mono ? reducedGrey(image, factor)
                                                                     : image;
    }
    return source.isNull() ? source
                           : source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString localPath(const QUrl& url) {
    return url.toLocalFile();
}

} // namespace

ScannedPage::ScannedPage(QUuid id, QUrl cacheURL, QSizeF pixelSize, double dpi, QImage thumbnail)
    : id_(id), cacheURL_(std::move(cacheURL)), pixelSize_(pixelSize), dpi_(dpi),
      thumbnail_(std::move(thumbnail)) {}

QString ScannedPage::Failure::description() const {
    return std::visit([](const auto& failure) { return failure.description(); }, reason);
}

Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>
ScannedPage::make(const QUrl& source, const QUrl& cacheFolder, int fallbackDpi,
                  bool removingSource) {
    if (auto failure = FolderFailure::createPath(cacheFolder)) {
        return Failure{*failure};
    }
    auto decoded = ImageFile::read(source, double(fallbackDpi));
    if (!decoded) {
        return Failure{decoded.failure()};
    }
    const QImage& image = decoded.value().image;
    const double dpi = decoded.value().dpi;
    const QUrl cacheURL =
        QUrl::fromLocalFile(QDir(localPath(cacheFolder)).filePath(makeCacheFileName()));
    if (auto written = ImageFile::writePNG(image, cacheURL, dpi); !written) {
        return Failure{written.failure()};
    }
    if (removingSource) {
        QFile::remove(localPath(source));
    }
    return std::make_shared<ScannedPage>(QUuid::createUuid(), cacheURL, QSizeF(image.size()), dpi,
                                         makeThumbnail(image));
}

Result<QImage, ImageFile::Failure> ScannedPage::loadFullImage() const {
    auto decoded = ImageFile::read(cacheURL_, dpi_);
    if (!decoded) {
        return decoded.failure();
    }
    return std::move(decoded.value().image);
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
        auto result = ImageFile::rotate(decoded.value().image, quarterTurnsClockwise);
        if (!result) {
            return result.failure();
        }
        rotated = std::move(result.value());
    } // the unrotated pixels are released here
    if (auto written = ImageFile::writePNG(rotated, cacheURL_, dpi_); !written) {
        return written.failure();
    }
    pixelSize_ = QSizeF(rotated.size());
    thumbnail_ = makeThumbnail(rotated);
    quarterTurns_ = (quarterTurns_ + quarterTurnsClockwise) & 3;
    return {};
}

void ScannedPage::discard() const {
    QFile::remove(localPath(cacheURL_));
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

QString ScannedPage::makeCacheFileName() {
    return QStringLiteral("page_%1.png")
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}
