#include "ui/controls/GradientText.h"

#include "ui/controls/AccessibleControls.h"

#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>

GradientText::GradientText(const QString& text, const QFont& font, QWidget* parent)
    : QWidget(parent), text_(text) {
    AccessibleControls::install();
    setFont(font);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GradientText::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text_), metrics.height()};
}

QSize GradientText::minimumSizeHint() const {
    return sizeHint();
}

void GradientText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath letters;
    letters.addText(0, fontMetrics().ascent(), font(), text_);
    painter.fillPath(letters, Theme::brandGradient(QRectF(0, 0, sizeHint().width(), height())));
}
