#include "ui/main/PageListView.h"

#include "ui/controls/Theme.h"

#include <QDragMoveEvent>
#include <QPainter>

PageListView::PageListView(QWidget* parent) : QListView(parent) {
    // Our own indicator replaces the style's, which is hard to see on the
    // dark rows.
    setDropIndicatorShown(false);
}

QRect PageListView::dropIndicatorRect() const {
    if (!dropRow_ || model() == nullptr) {
        return {};
    }
    const int rows = model()->rowCount(rootIndex());
    int y = 0;
    if (rows > 0 && *dropRow_ < rows) {
        y = visualRect(model()->index(*dropRow_, 0, rootIndex())).top();
    } else if (rows > 0) {
        y = visualRect(model()->index(rows - 1, 0, rootIndex())).bottom() + 1;
    }
    return {0, y - indicatorThickness / 2, viewport()->width(), indicatorThickness};
}

void PageListView::dragEnterEvent(QDragEnterEvent* event) {
    QListView::dragEnterEvent(event);
    followDrag(event->position().toPoint(), event->isAccepted());
}

void PageListView::dragMoveEvent(QDragMoveEvent* event) {
    QListView::dragMoveEvent(event);
    followDrag(event->position().toPoint(), event->isAccepted());
}

void PageListView::dragLeaveEvent(QDragLeaveEvent* event) {
    QListView::dragLeaveEvent(event);
    setDropRow(std::nullopt);
}

void PageListView::dropEvent(QDropEvent* event) {
    QListView::dropEvent(event);
    setDropRow(std::nullopt);
}

void PageListView::followDrag(const QPoint& position, bool accepted) {
    if (!accepted || model() == nullptr) {
        setDropRow(std::nullopt);
        return;
    }
    // The same gap the view's drop chooses: rows take no drops, so a drop
    // on a row's upper half lands before it, on its lower half after it.
    const QModelIndex index = indexAt(position);
    if (!index.isValid()) {
        setDropRow(model()->rowCount(rootIndex()));
        return;
    }
    const QRect rect = visualRect(index);
    setDropRow(position.y() < rect.center().y() ? index.row() : index.row() + 1);
}

void PageListView::setDropRow(std::optional<int> row) {
    if (row == dropRow_) {
        return;
    }
    dropRow_ = row;
    viewport()->update();
}

void PageListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (!dropRow_) {
        return;
    }
    const QRect line = dropIndicatorRect();
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(line, Theme::cyan.color());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::cyan.color());
    const double radius = 3.5;
    painter.drawEllipse(QPointF(line.left() + radius + 1, line.center().y() + 0.5), radius, radius);
}
