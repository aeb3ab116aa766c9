#include "ui/controls/SymbolImage.h"

#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace SymbolImage {

namespace {

// Every symbol is drawn on a 24 x 24 grid with a 1.8-unit pen.
constexpr double grid = 24.0;

void rotateArrow(QPainter& p, bool clockwise) {
    // A page with a curved arrow over its upper corner.
    p.drawRoundedRect(QRectF(7.5, 10.5, 12, 10.5), 1.5, 1.5);
    QPainterPath arc;
    if (clockwise) {
        p.translate(grid, 0);
        p.scale(-1, 1);
    }
    arc.moveTo(15.5, 5.5);
    arc.cubicTo(10.5, 3.5, 5.0, 5.5, 4.5, 12.0);
    p.drawPath(arc);
    p.drawPolyline(QPolygonF({QPointF(2.0, 9.5), QPointF(4.5, 12.0), QPointF(7.0, 9.5)}));
}

void draw(QPainter& p, const QString& name) {
    if (name == QLatin1String("scanner")) {
        p.drawRoundedRect(QRectF(2.5, 11.0, 19, 8.5), 2, 2);
        p.drawLine(QPointF(4.0, 11.0), QPointF(19.5, 5.0));
        p.drawLine(QPointF(6.0, 15.25), QPointF(13.0, 15.25));
        p.save();
        p.setBrush(p.pen().color());
        p.drawEllipse(QPointF(17.5, 15.25), 1.1, 1.1);
        p.restore();
    } else if (name == QLatin1String("rotate.left")) {
        rotateArrow(p, false);
    } else if (name == QLatin1String("rotate.right")) {
        rotateArrow(p, true);
    } else if (name == QLatin1String("doc.viewfinder")) {
        const double a = 3.0, b = 21.0, c = 6.0;
        p.drawPolyline(QPolygonF({QPointF(a, a + c), QPointF(a, a), QPointF(a + c, a)}));
        p.drawPolyline(QPolygonF({QPointF(b - c, a), QPointF(b, a), QPointF(b, a + c)}));
        p.drawPolyline(QPolygonF({QPointF(b, b - c), QPointF(b, b), QPointF(b - c, b)}));
        p.drawPolyline(QPolygonF({QPointF(a + c, b), QPointF(a, b), QPointF(a, b - c)}));
        QPainterPath page;
        page.moveTo(8.5, 7.0);
        page.lineTo(13.0, 7.0);
        page.lineTo(15.5, 9.5);
        page.lineTo(15.5, 17.0);
        page.lineTo(8.5, 17.0);
        page.closeSubpath();
        p.drawPath(page);
    } else if (name == QLatin1String("gearshape")) {
        p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
        for (int i = 0; i < 8; ++i) {
            const double angle = qDegreesToRadians(45.0 * i);
            p.drawLine(QPointF(12 + 6.5 * std::cos(angle), 12 + 6.5 * std::sin(angle)),
                       QPointF(12 + 9.5 * std::cos(angle), 12 + 9.5 * std::sin(angle)));
        }
    } else if (name == QLatin1String("envelope")) {
        p.drawRoundedRect(QRectF(3, 6, 18, 13), 2, 2);
        p.drawPolyline(QPolygonF({QPointF(3.8, 7.2), QPointF(12, 13.5), QPointF(20.2, 7.2)}));
    } else if (name == QLatin1String("info.circle")) {
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawLine(QPointF(12, 11), QPointF(12, 17));
        p.save();
        p.setBrush(p.pen().color());
        p.drawEllipse(QPointF(12, 7.6), 0.9, 0.9);
        p.restore();
    } else if (name == QLatin1String("line.3.horizontal")) {
        for (const double y : {6.5, 12.0, 17.5}) {
            p.drawLine(QPointF(4.5, y), QPointF(19.5, y));
        }
    } else if (name == QLatin1String("xmark")) {
        p.drawLine(QPointF(6, 6), QPointF(18, 18));
        p.drawLine(QPointF(18, 6), QPointF(6, 18));
    } else if (name == QLatin1String("minus")) {
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
    } else if (name == QLatin1String("plus")) {
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
    }
}

} // namespace

QStringList names() {
    return {QStringLiteral("scanner"),      QStringLiteral("rotate.left"),
            QStringLiteral("rotate.right"), QStringLiteral("doc.viewfinder"),
            QStringLiteral("gearshape"),    QStringLiteral("envelope"),
            QStringLiteral("info.circle"),  QStringLiteral("line.3.horizontal"),
            QStringLiteral("xmark"),        QStringLiteral("minus"),
            QStringLiteral("plus")};
}

bool exists(const QString& name) {
    return names().contains(name);
}

void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& colour) {
    if (!exists(name) || box.isEmpty()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / grid, side / grid);
    QPen pen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    draw(painter, name);
    painter.restore();
}

QPixmap pixmap(const QString& name, const QColor& colour, int size, double devicePixelRatio) {
    QPixmap result(QSize(size, size) * devicePixelRatio);
    result.setDevicePixelRatio(devicePixelRatio);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    paint(painter, name, QRectF(0, 0, size, size), colour);
    return result;
}

QIcon icon(const QString& name, const QColor& colour, int size) {
    QIcon result;
    for (const double ratio : {1.0, 2.0}) {
        result.addPixmap(pixmap(name, colour, size, ratio), QIcon::Normal);
        result.addPixmap(pixmap(name, Theme::muted.color(0.5), size, ratio), QIcon::Disabled);
    }
    return result;
}

} // namespace SymbolImage
