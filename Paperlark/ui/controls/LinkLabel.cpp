#include "ui/controls/LinkLabel.h"

#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

LinkLabel::LinkLabel(const QString& text, const QUrl& url, const QString& toolTip, QWidget* parent)
    : QLabel(text, parent), url_(url) {
    setTextFormat(Qt::PlainText);
    Labels::setColour(this, Theme::cyan);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    if (!toolTip.isEmpty()) {
        setToolTip(toolTip);
    }
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            open();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        open();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    if (hasFocus()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::cyan.color(0.4));
        painter.drawRoundedRect(rect(), 3, 3);
    }
    QLabel::paintEvent(event);
}

void LinkLabel::focusInEvent(QFocusEvent* event) {
    Labels::setColour(this, Theme::ink);
    QLabel::focusInEvent(event);
}

void LinkLabel::focusOutEvent(QFocusEvent* event) {
    Labels::setColour(this, Theme::cyan);
    QLabel::focusOutEvent(event);
}

void LinkLabel::open() {
    Q_EMIT activated(url_);
    QDesktopServices::openUrl(url_);
}
