#include "pdf/PdfImagePlacement.h"

#include <QPoint>

#include <algorithm>
#include <cmath>

namespace {

int sign(double value, double scale) {
    return std::abs(value) <= scale * 1e-6 ? 0 : (value > 0 ? 1 : -1);
}

} // namespace

int PdfImagePlacement::normalisedRotation(long long rotate) {
    if (rotate % 90 != 0) {
        return 0;
    }
    return int(((rotate % 360) + 360) % 360);
}

QTransform PdfImagePlacement::display(const QRectF& box, int rotate) {
    const double x0 = box.left(), y0 = box.top(), x1 = box.right(), y1 = box.bottom();
    switch (normalisedRotation(rotate)) {
    case 90:
        return QTransform(0, -1, 1, 0, -y0, x1);
    case 180:
        return QTransform(-1, 0, 0, -1, x1, y1);
    case 270:
        return QTransform(0, 1, -1, 0, y1, -x0);
    default:
        return QTransform(1, 0, 0, 1, -x0, -y0);
    }
}

QSizeF PdfImagePlacement::displaySize(const QRectF& box, int rotate) {
    const int r = normalisedRotation(rotate);
    return r == 90 || r == 270 ? box.size().transposed() : box.size();
}

std::optional<PdfImagePlacement> PdfImagePlacement::find(QSize pixels,
                                                         const QTransform& imageMatrix,
                                                         const QRectF& box, int rotate,
                                                         const std::optional<QRectF>& clip) {
    if (pixels.isEmpty() || box.isEmpty() || !imageMatrix.isAffine()) {
        return std::nullopt;
    }
    const QTransform toDisplay = display(box, rotate);
    const QSizeF shown = displaySize(box, rotate);
    const QTransform e = imageMatrix * toDisplay;
    const double scale =
        std::max({std::abs(e.m11()), std::abs(e.m12()), std::abs(e.m21()), std::abs(e.m22())});
    if (!(scale > 0) || !std::isfinite(scale)) {
        return std::nullopt;
    }
    // Where the stored image's columns and rows run on the page as shown,
    // in image coordinates (y down): one of them across, the other down.
    const QPoint columns(sign(e.m11(), scale), -sign(e.m12(), scale));
    const QPoint rows(-sign(e.m21(), scale), sign(e.m22(), scale));
    if (columns.manhattanLength() != 1 || rows.manhattanLength() != 1 ||
        columns.x() * rows.x() + columns.y() * rows.y() != 0) {
        return std::nullopt;
    }
    const QRectF drawn = e.mapRect(QRectF(0, 0, 1, 1));
    const double slackX = std::max(1.5, shown.width() * 0.005);
    const double slackY = std::max(1.5, shown.height() * 0.005);
    if (std::abs(drawn.left()) > slackX || std::abs(drawn.right() - shown.width()) > slackX ||
        std::abs(drawn.top()) > slackY || std::abs(drawn.bottom() - shown.height()) > slackY) {
        return std::nullopt;
    }
    if (clip) {
        const QRectF clipped = toDisplay.mapRect(*clip);
        if (clipped.left() > drawn.left() + slackX || clipped.right() < drawn.right() - slackX ||
            clipped.top() > drawn.top() + slackY || clipped.bottom() < drawn.bottom() - slackY) {
            return std::nullopt;
        }
    }
    PdfImagePlacement placement;
    bool found = false;
    for (const bool mirrored : {false, true}) {
        for (int turns = 0; turns < 4 && !found; ++turns) {
            QPoint c(mirrored ? -1 : 1, 0), r(0, 1);
            for (int i = 0; i < turns; ++i) {
                c = QPoint(-c.y(), c.x());
                r = QPoint(-r.y(), r.x());
            }
            if (c == columns && r == rows) {
                placement.mirrored = mirrored;
                placement.turns = turns;
                found = true;
            }
        }
    }
    if (!found) {
        return std::nullopt;
    }
    const QSize upright = placement.turns % 2 ? pixels.transposed() : pixels;
    const double dpiX = upright.width() * 72.0 / drawn.width();
    const double dpiY = upright.height() * 72.0 / drawn.height();
    if (!std::isfinite(dpiX) || !std::isfinite(dpiY) || std::abs(dpiX - dpiY) > 0.01 * dpiX) {
        return std::nullopt;
    }
    // A resolution that was a whole number before the page size was
    // written with a few decimals is that number again.
    placement.dpi = std::abs(dpiX - std::round(dpiX)) < 0.05 ? std::round(dpiX) : dpiX;
    placement.size =
        QSizeF(upright.width() * 72.0 / placement.dpi, upright.height() * 72.0 / placement.dpi);
    placement.userToImage = toDisplay * QTransform::fromTranslate(-drawn.left(), -drawn.top()) *
                            QTransform::fromScale(placement.size.width() / drawn.width(),
                                                  placement.size.height() / drawn.height());
    return placement;
}
