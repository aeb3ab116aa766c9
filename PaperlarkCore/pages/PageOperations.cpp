#include "pages/PageOperations.h"

#include "pages/DurableFile.h"
#include "pages/FolderFailure.h"
#include "pages/ImageFile.h"
#include "pages/JpegEncoder.h"
#include "pages/PageSummary.h"
#include "pages/SkewDetector.h"
#include "pages/Straightener.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cmath>

namespace {

const QString jpegSuffix = QStringLiteral(".jpg");
const QString pngSuffix = QStringLiteral(".png");

bool keptAsJpeg(const ScannedPage& page) {
    return page.cacheURL().toLocalFile().endsWith(jpegSuffix);
}

Result<void, ImageFile::Failure> writeJpeg(const QImage& image, const QUrl& url, double dpi) {
    DurableFile file(url.toLocalFile());
    if (!file.isOpen() ||
        !JpegEncoder::write(image, file.device(), dpi,
                            ImageFile::jpegLibraryQuality(PageOperations::jpegQuality),
                            JpegEncoder::Chroma::full) ||
        !file.commit()) {
        return ImageFile::Failure::unwritable(url);
    }
    return {};
}

} // namespace

Result<std::optional<PageOperations::Page>, PageOperations::Failure>
PageOperations::straighten(const ScannedPage& page) {
    const auto image = page.loadFullImage();
    if (!image) {
        return Failure{image.failure()};
    }
    const std::optional<double> skew = SkewDetector::skew(image.value(), page.dpi());
    if (!skew || std::abs(*skew) < Straightener::minDegrees) {
        return std::optional<Page>();
    }
    const QImage straight =
        Straightener::rotated(image.value(), -*skew, Straightener::backgroundColour(image.value()));
    auto made = replaced(page, straight);
    if (!made) {
        return made.failure();
    }
    return std::optional<Page>(std::move(made.value()));
}

Result<PageOperations::Page, PageOperations::Failure> PageOperations::crop(const ScannedPage& page,
                                                                           const QRect& rect) {
    const auto image = page.loadFullImage();
    if (!image) {
        return Failure{image.failure()};
    }
    const QRect kept = rect.normalized() & image.value().rect();
    if (kept.isEmpty()) {
        return Failure{ImageFile::Failure::badContext()};
    }
    return replaced(page, image.value().copy(kept));
}

Result<PageOperations::Page, PageOperations::Failure>
PageOperations::replaced(const ScannedPage& page, const QImage& image) {
    const QImage pixels = ImageFile::normalised(image);
    if (pixels.isNull()) {
        return Failure{ImageFile::Failure::badContext()};
    }
    const QUrl folder =
        QUrl::fromLocalFile(QFileInfo(page.cacheURL().toLocalFile()).absolutePath());
    if (auto failure = FolderFailure::createPath(folder)) {
        return Failure{*failure};
    }
    // 1-bit pixels never come from a JPEG; should they, they stay exact.
    const bool jpeg = keptAsJpeg(page) && pixels.format() != QImage::Format_Mono;
    const QUrl url = QUrl::fromLocalFile(
        QDir(folder.toLocalFile())
            .filePath(ScannedPage::makeCacheFileName(jpeg ? jpegSuffix : pngSuffix)));
    const auto written =
        jpeg ? writeJpeg(pixels, url, page.dpi()) : ImageFile::writePNG(pixels, url, page.dpi());
    if (!written) {
        return Failure{written.failure()};
    }
    const PageSummary summary = PageSummary::of(pixels, page.dpi());
    return std::make_shared<ScannedPage>(QUuid::createUuid(), url, QSizeF(pixels.size()),
                                         page.dpi(), summary.thumbnail, summary.inkShare);
}
