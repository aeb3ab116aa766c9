#include "ui/controls/AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace AppIcon {

QPixmap pixmap(int size, double devicePixelRatio) {
    QPixmap result(QSize(size, size) * devicePixelRatio);
    result.setDevicePixelRatio(devicePixelRatio);
    result.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/paperlark/paperlark.svg"));
    if (renderer.isValid()) {
        QPainter painter(&result);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    return result;
}

QIcon icon() {
    QIcon result;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        result.addPixmap(pixmap(size));
    }
    return result;
}

} // namespace AppIcon
