#include "ui/controls/ActivityIndicator.h"

#include "ui/controls/Theme.h"

#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int frameMilliseconds = 33;
constexpr int degreesPerFrame = 12;

} // namespace

ActivityIndicator::ActivityIndicator(QWidget* parent, int size)
    : QWidget(parent), size_(size), colour_(Theme::cyan.color()) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ActivityIndicator::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

QSize ActivityIndicator::sizeHint() const {
    return {size_, size_};
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pen = std::max(1.5, size_ / 8.0);
    const QRectF circle = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    QColor track = colour_;
    track.setAlphaF(0.2f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(circle);
    painter.setPen(QPen(colour_, pen, Qt::SolidLine, Qt::RoundCap));
    // Qt counts angles anticlockwise in sixteenths of a degree.
    painter.drawArc(circle, -angle_ * 16, 100 * 16);
}

void ActivityIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start(frameMilliseconds, this);
}

void ActivityIndicator::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void ActivityIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    angle_ = (angle_ + degreesPerFrame) % 360;
    update();
}
