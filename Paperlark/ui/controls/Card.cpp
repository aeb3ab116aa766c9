#include "ui/controls/Card.h"

#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr double cornerRadius = 10.0;
constexpr double accentInset = 10.0;
constexpr double accentHeight = 2.0;

} // namespace

Card::Card(int padding, QWidget* content, QWidget* parent)
    : QWidget(parent), padding_(padding), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(padding, padding, padding, padding);
    layout_->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    if (content != nullptr) {
        setContent(content);
    }
}

void Card::setContent(QWidget* content) {
    if (content_ != nullptr) {
        layout_->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = content;
    if (content == nullptr) {
        return;
    }
    // Content that can grow fills the card; content of a bounded width sits
    // at the leading edge instead of in the middle.
    const bool bounded = content->maximumWidth() < QWIDGETSIZE_MAX;
    layout_->addWidget(content, 1, bounded ? Qt::AlignLeft : Qt::Alignment());
}

void Card::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, Theme::surface.color());
    painter.setPen(QPen(Theme::line.color(), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPath(shape);

    const QRectF bar(accentInset, 0, width() - 2 * accentInset, accentHeight);
    if (bar.width() > 0) {
        QPainterPath capsule;
        capsule.addRoundedRect(bar, accentHeight / 2, accentHeight / 2);
        painter.fillPath(capsule, Theme::brandGradient(bar));
    }
}
