#include "pages/PageRule.h"

#include <QRegularExpression>

#include <cmath>

bool PageRule::fitsSize(const QSize& size) {
    return size.isValid() && !size.isEmpty() && size.width() <= maxSide &&
           size.height() <= maxSide &&
           std::int64_t(size.width()) * size.height() * 4 <= maxDecodedBytes;
}

bool PageRule::fitsResolution(double dpi) {
    return std::isfinite(dpi) && dpi >= 0 && dpi <= maxDpi;
}

std::optional<double> PageRule::resolution(std::optional<double> stated, double fallback) {
    // 1 or less states nothing; anything not a number is refused with the
    // resolutions that are too high.
    if (stated && !(*stated <= 1)) {
        if (!(*stated <= maxDpi)) {
            return std::nullopt;
        }
        return *stated;
    }
    return fitsResolution(fallback) ? fallback : 0.0;
}

bool PageRule::isImportFormat(const QByteArray& format) {
    return format == "png" || format == "jpeg" || format == "jpg" || format == "tiff" ||
           format == "tif" || format == "bmp";
}

bool PageRule::isCacheFileName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^page_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.(png|jpg)$"));
    return pattern.match(name).hasMatch();
}
