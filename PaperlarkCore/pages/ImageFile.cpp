#include "pages/ImageFile.h"

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

Result<ImageFile::Decoded, ImageFile::Failure> ImageFile::read(const QUrl& url, double) {
    return Failure::unreadable(url);
}

Result<void, ImageFile::Failure> ImageFile::writePNG(const QImage&, const QUrl& url, double) {
    return Failure::unwritable(url);
}

Result<void, ImageFile::Failure> ImageFile::writeJPEG(const QImage&, const QUrl& url, double, int) {
    return Failure::unwritable(url);
}

bool ImageFile::encodePNG(const QImage&, QIODevice&, double, int) {
    return false;
}
bool ImageFile::encodeJPEG(const QImage&, QIODevice&, double, int) {
    return false;
}

Result<QImage, ImageFile::Failure> ImageFile::rotate(const QImage& image, int) {
    return image;
}

QImage ImageFile::flattened(const QImage& image) {
    return image;
}
