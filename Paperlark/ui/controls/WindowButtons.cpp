#include "ui/controls/WindowButtons.h"

#include "ui/controls/AccessibleControls.h"
#include "ui/controls/Theme.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int diameter = 12;
constexpr int pitch = 20; // centre to centre
constexpr int hitMargin = 4;

constexpr WindowButtons::Button allButtons[] = {
    WindowButtons::Button::close, WindowButtons::Button::minimise, WindowButtons::Button::maximise};

QColor buttonColour(WindowButtons::Button button) {
    switch (button) {
    case WindowButtons::Button::close:
        return Theme::danger.color();
    case WindowButtons::Button::minimise:
        return Theme::cyan.color();
    case WindowButtons::Button::maximise:
        return Theme::violet.color();
    }
    return Theme::muted.color();
}

} // namespace

WindowButtons::WindowButtons(QWidget* parent) : QWidget(parent) {
    AccessibleControls::install();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    resize(sizeHint());
}

QSize WindowButtons::sizeHint() const {
    return {2 * hitMargin + 2 * pitch + diameter, 2 * hitMargin + diameter};
}

QRect WindowButtons::buttonRect(Button button) const {
    const int index = static_cast<int>(button);
    return {hitMargin + index * pitch, hitMargin, diameter, diameter};
}

std::optional<WindowButtons::Button> WindowButtons::buttonAt(const QPoint& position) const {
    for (const Button button : allButtons) {
        if (buttonRect(button)
                .adjusted(-hitMargin / 2, -hitMargin, hitMargin / 2, hitMargin)
                .contains(position)) {
            return button;
        }
    }
    return std::nullopt;
}

void WindowButtons::trigger(Button button) {
    QWidget* host = window();
    switch (button) {
    case Button::close:
        host->close();
        break;
    case Button::minimise:
        host->showMinimized();
        break;
    case Button::maximise:
        if (host->isMaximized()) {
            host->showNormal();
        } else {
            host->showMaximized();
        }
        break;
    }
}

void WindowButtons::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool active = window()->isActiveWindow() || hovered_;
    for (const Button button : allButtons) {
        const QRectF circle = QRectF(buttonRect(button)).adjusted(0.5, 0.5, -0.5, -0.5);
        QColor fill = active ? buttonColour(button) : Theme::lineBright.color();
        if (pressed_ == button) {
            fill = fill.darker(130);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(circle);
        if (!hovered_) {
            continue;
        }
        painter.setPen(QPen(Theme::background.color(0.85), 1.3, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = circle.center();
        const double r = 2.6;
        switch (button) {
        case Button::close:
            painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
            painter.drawLine(c + QPointF(r, -r), c + QPointF(-r, r));
            break;
        case Button::minimise:
            painter.drawLine(c + QPointF(-r - 0.5, 0), c + QPointF(r + 0.5, 0));
            break;
        case Button::maximise:
            painter.drawLine(c + QPointF(-r - 0.5, 0), c + QPointF(r + 0.5, 0));
            painter.drawLine(c + QPointF(0, -r - 0.5), c + QPointF(0, r + 0.5));
            break;
        }
    }
}

void WindowButtons::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = buttonAt(event->position().toPoint());
    if (!pressed_) {
        // Between the buttons the header behaves like background.
        event->ignore();
        return;
    }
    event->accept();
    update();
}

void WindowButtons::mouseReleaseEvent(QMouseEvent* event) {
    const std::optional<Button> pressed = pressed_;
    pressed_.reset();
    update();
    if (event->button() == Qt::LeftButton && pressed &&
        buttonAt(event->position().toPoint()) == pressed) {
        event->accept();
        trigger(*pressed);
        return;
    }
    event->ignore();
}

void WindowButtons::enterEvent(QEnterEvent*) {
    hovered_ = true;
    update();
}

void WindowButtons::leaveEvent(QEvent*) {
    hovered_ = false;
    update();
}

bool WindowButtons::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
        update();
    }
    return QWidget::event(event);
}
