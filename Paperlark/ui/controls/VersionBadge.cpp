#include "ui/controls/VersionBadge.h"

#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>

VersionBadge::VersionBadge(const QString& version, QWidget* parent)
    : QLabel(textFor(version), parent) {
    setTextFormat(Qt::PlainText);
    setFont(Theme::font(11, QFont::DemiBold, true));
    Labels::setColour(this, Theme::cyan);
    setContentsMargins(12, 5, 12, 5);
    setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString VersionBadge::textFor(const QString& version) {
    return QStringLiteral("v") + version;
}

void VersionBadge::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath capsule;
        capsule.addRoundedRect(shape, shape.height() / 2, shape.height() / 2);
        painter.fillPath(capsule, Theme::elevated.color());
        painter.setPen(QPen(Theme::lineBright.color(), 1.0));
        painter.drawPath(capsule);
    }
    QLabel::paintEvent(event);
}
