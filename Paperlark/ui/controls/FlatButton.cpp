#include "ui/controls/FlatButton.h"

#include "ui/controls/SymbolImage.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 7;
constexpr double cornerRadius = 7.0;
constexpr int symbolGap = 6;

} // namespace

FlatButton::FlatButton(const QString& label, const ButtonStyle& style, QWidget* parent)
    : QPushButton(QString(label).replace(u'&', QStringLiteral("&&")), parent), style_(style) {
    setFont(Theme::font(13, QFont::Medium));
    // Keeps the dialog-button rules of the application style sheet away.
    setFlat(true);
    setFocusPolicy(Qt::TabFocus);
    // Return presses the focused button, in any window; a dialog that wants
    // Return for its default button whatever the focus turns this off.
    setAutoDefault(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover, false);
}

void FlatButton::setButtonStyle(const ButtonStyle& style) {
    style_ = style;
    update();
}

void FlatButton::setSymbol(const QString& name) {
    symbol_ = name;
    updateGeometry();
    update();
}

void FlatButton::setLabelWidth(int width) {
    labelWidth_ = width;
    updateGeometry();
    update();
}

void FlatButton::setAlternativeLabels(const QStringList& labels) {
    alternativeLabels_ = labels;
    updateGeometry();
    update();
}

QColor FlatButton::currentFill() const {
    if (!isEnabled()) {
        return Theme::elevated.color(0.4);
    }
    return isDown() ? style_.pressedFill : style_.fill;
}

QColor FlatButton::currentBorder() const {
    return isEnabled() ? style_.border : Theme::line.color();
}

QColor FlatButton::currentForeground() const {
    return isEnabled() ? style_.foreground : Theme::muted.color(0.5);
}

QString FlatButton::label() const {
    return QString(text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

int FlatButton::naturalLabelWidth(const QString& text) const {
    const QFontMetrics metrics(font());
    int width = text.isEmpty() ? 0 : metrics.horizontalAdvance(text);
    if (!symbol_.isEmpty()) {
        width += metrics.height() + (text.isEmpty() ? 0 : symbolGap);
    }
    return width;
}

int FlatButton::labelWidth() const {
    int width = std::max(labelWidth_, naturalLabelWidth(label()));
    for (const QString& alternative : alternativeLabels_) {
        width = std::max(width, naturalLabelWidth(alternative));
    }
    return width;
}

QSize FlatButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {labelWidth() + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding};
}

QSize FlatButton::minimumSizeHint() const {
    return sizeHint();
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, currentFill());
    if (hasFocus() && isEnabled()) {
        // The focus ring takes the border's place, twice as thick.
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius - 0.5,
                            cornerRadius - 0.5);
        painter.setPen(QPen(style_.focusRing, 2.0));
        painter.drawPath(ring);
    } else {
        painter.setPen(QPen(currentBorder(), 1.0));
        painter.drawPath(shape);
    }

    const QColor foreground = currentForeground();
    const QFontMetrics metrics(font());
    const int natural = naturalLabelWidth(label());
    const QRect content =
        rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    int x = content.left() + (content.width() - natural) / 2;
    if (!symbol_.isEmpty()) {
        const int size = metrics.height();
        const QRectF box(x, content.center().y() - size / 2.0 + 0.5, size, size);
        SymbolImage::paint(painter, symbol_, box, foreground);
        x += size + (text().isEmpty() ? 0 : symbolGap);
    }
    if (const QString shown = label(); !shown.isEmpty()) {
        painter.setFont(font());
        painter.setPen(foreground);
        painter.drawText(QRect(x, content.top(), content.right() - x + 1, content.height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
}
