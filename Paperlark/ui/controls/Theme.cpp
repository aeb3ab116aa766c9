#include "ui/controls/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace Theme {

QColor Palette::color(double opacity) const {
    QColor result(red255, green255, blue255);
    result.setAlphaF(static_cast<float>(opacity));
    return result;
}

QLinearGradient brandGradient(const QRectF& rect) {
    QLinearGradient gradient(rect.left(), rect.center().y(), rect.right(), rect.center().y());
    gradient.setColorAt(0.0, cyan.color());
    gradient.setColorAt(1.0, violet.color());
    return gradient;
}

QFont font(double points, QFont::Weight weight, bool monospaced) {
    QFont result = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont
                                                        : QFontDatabase::GeneralFont);
    if (monospaced) {
        result.setStyleHint(QFont::Monospace);
        result.setFixedPitch(true);
    }
    if (std::floor(points) == points) {
        result.setPixelSize(static_cast<int>(points));
    } else {
        // QFont takes only whole pixel sizes; a point size scaled by the
        // screen's dpi lands on the same fractional pixel size.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
        result.setPointSizeF(points * 72.0 / dpi);
    }
    result.setWeight(weight);
    return result;
}

} // namespace Theme
