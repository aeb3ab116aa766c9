#include "pages/ScannedPage.h"

ScannedPage::ScannedPage(QUuid id, QUrl cacheURL, QSizeF pixelSize, double dpi, QImage thumbnail)
    : id_(id), cacheURL_(std::move(cacheURL)), pixelSize_(pixelSize), dpi_(dpi),
      thumbnail_(std::move(thumbnail)) {}

QString ScannedPage::Failure::description() const {
    return std::visit([](const auto& failure) { return failure.description(); }, reason);
}

Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>
ScannedPage::make(const QUrl& source, const QUrl&, int, bool) {
    return Failure{ImageFile::Failure::unreadable(source)};
}

Result<QImage, ImageFile::Failure> ScannedPage::loadFullImage() const {
    return ImageFile::Failure::unreadable(cacheURL_);
}

std::optional<ScannedPage::Preview> ScannedPage::loadPreviewImage() const {
    return std::nullopt;
}

QSizeF ScannedPage::previewDisplaySize(const QSizeF& pixels) {
    return pixels;
}

Result<void, ImageFile::Failure> ScannedPage::rotate(int) {
    return ImageFile::Failure::badContext();
}

void ScannedPage::discard() const {}

QString ScannedPage::description() const {
    return {};
}

QImage ScannedPage::makeThumbnail(const QImage& image) {
    return image;
}

QString ScannedPage::makeCacheFileName() {
    return {};
}
