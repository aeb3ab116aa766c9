#include "ui/main/CropFrame.h"

#include "ui/controls/Theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int bit(CropFrame::Edge edge) {
    return 1 << edge;
}
constexpr int allEdges = 0xF;

} // namespace

CropFrame::CropFrame(QSize pageSize, QWidget* parent)
    : QWidget(parent), pageSize_(pageSize), frame_(QPoint(0, 0), pageSize) {
    setObjectName(QStringLiteral("cropFrame"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    const QString help = QStringLiteral(
        "Crop frame: drag its edges or corners, or drag inside to move it. Tab chooses an "
        "edge, the arrow keys move it (Shift: further). Return or a double-click crops, "
        "Escape leaves.");
    setToolTip(help);
    setAccessibleName(QStringLiteral("Crop frame"));
    setAccessibleDescription(help);
}

void CropFrame::setFrame(const QRect& frame) {
    const QRect kept = frame.normalized() & QRect(QPoint(0, 0), pageSize_);
    if (kept.width() >= minimumSize && kept.height() >= minimumSize) {
        frame_ = kept;
        update();
    }
}

void CropFrame::setPictureRect(const QRectF& rect) {
    picture_ = rect;
    update();
}

double CropFrame::scale() const {
    return picture_.width() > 0 ? pageSize_.width() / picture_.width() : 1;
}

QRectF CropFrame::frameOnScreen() const {
    const double s = scale();
    return {picture_.left() + frame_.left() / s, picture_.top() + frame_.top() / s,
            frame_.width() / s, frame_.height() / s};
}

void CropFrame::paintEvent(QPaintEvent*) {
    if (picture_.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shown = frameOnScreen();
    QPainterPath outside;
    outside.addRect(picture_);
    outside.addRect(shown);
    painter.fillPath(outside, QColor(0, 0, 0, 150));

    const QColor accent = Theme::cyan.color();
    painter.setPen(QPen(accent, 1.5));
    painter.drawRect(shown);
    // The chosen edge, brighter and thicker.
    painter.setPen(QPen(Theme::ink.color(), 3));
    switch (edge_) {
    case left:
        painter.drawLine(shown.topLeft(), shown.bottomLeft());
        break;
    case top:
        painter.drawLine(shown.topLeft(), shown.topRight());
        break;
    case right:
        painter.drawLine(shown.topRight(), shown.bottomRight());
        break;
    case bottom:
        painter.drawLine(shown.bottomLeft(), shown.bottomRight());
        break;
    }
    painter.setPen(QPen(Theme::console.color(), 1));
    painter.setBrush(accent);
    const QPointF centre = shown.center();
    for (const QPointF& at :
         {shown.topLeft(), shown.topRight(), shown.bottomLeft(), shown.bottomRight(),
          QPointF(centre.x(), shown.top()), QPointF(centre.x(), shown.bottom()),
          QPointF(shown.left(), centre.y()), QPointF(shown.right(), centre.y())}) {
        painter.drawRect(QRectF(at.x() - 4, at.y() - 4, 8, 8));
    }
}

bool CropFrame::focusNextPrevChild(bool) {
    return false; // Tab chooses an edge
}

void CropFrame::keyPressEvent(QKeyEvent* event) {
    const int step = event->modifiers().testFlag(Qt::ShiftModifier) ? 10 : 1;
    const int distance = std::max(1, int(std::lround(step * scale())));
    const auto moveBy = [&](int dx, int dy) {
        moveEdges(bit(edge_), QPoint(dx, dy) * distance, frame_);
    };
    switch (event->key()) {
    case Qt::Key_Tab:
        edge_ = Edge((edge_ + 1) % 4);
        update();
        return;
    case Qt::Key_Backtab:
        edge_ = Edge((edge_ + 3) % 4);
        update();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (edge_ == left || edge_ == right) {
            moveBy(event->key() == Qt::Key_Left ? -1 : 1, 0);
        }
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (edge_ == top || edge_ == bottom) {
            moveBy(0, event->key() == Qt::Key_Up ? -1 : 1);
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT applied(frame_);
        return;
    case Qt::Key_Escape:
        Q_EMIT cancelled();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

int CropFrame::edgesAt(const QPointF& point) const {
    const QRectF shown = frameOnScreen();
    const auto near = [](double a, double b) { return std::abs(a - b) <= grabDistance; };
    const bool withinX =
        point.x() >= shown.left() - grabDistance && point.x() <= shown.right() + grabDistance;
    const bool withinY =
        point.y() >= shown.top() - grabDistance && point.y() <= shown.bottom() + grabDistance;
    int edges = 0;
    if (withinY && near(point.x(), shown.left())) {
        edges |= bit(left);
    } else if (withinY && near(point.x(), shown.right())) {
        edges |= bit(right);
    }
    if (withinX && near(point.y(), shown.top())) {
        edges |= bit(top);
    } else if (withinX && near(point.y(), shown.bottom())) {
        edges |= bit(bottom);
    }
    if (edges == 0 && shown.contains(point)) {
        edges = allEdges;
    }
    return edges;
}

void CropFrame::moveEdges(int edges, QPoint delta, const QRect& from) {
    QRect moved = from;
    if (edges == allEdges) {
        // The whole frame moves, staying on the page.
        delta.setX(std::clamp(delta.x(), -from.left(), pageSize_.width() - 1 - from.right()));
        delta.setY(std::clamp(delta.y(), -from.top(), pageSize_.height() - 1 - from.bottom()));
        moved.translate(delta);
    } else {
        if (edges & bit(left)) {
            moved.setLeft(std::clamp(from.left() + delta.x(), 0, from.right() + 1 - minimumSize));
        }
        if (edges & bit(right)) {
            moved.setRight(std::clamp(from.right() + delta.x(), from.left() + minimumSize - 1,
                                      pageSize_.width() - 1));
        }
        if (edges & bit(top)) {
            moved.setTop(std::clamp(from.top() + delta.y(), 0, from.bottom() + 1 - minimumSize));
        }
        if (edges & bit(bottom)) {
            moved.setBottom(std::clamp(from.bottom() + delta.y(), from.top() + minimumSize - 1,
                                       pageSize_.height() - 1));
        }
    }
    if (moved != frame_) {
        frame_ = moved;
        moved_ = true;
        update();
    }
}

void CropFrame::showCursor(const QPointF& point) {
    const int edges = dragEdges_ != 0 ? dragEdges_ : edgesAt(point);
    const bool horizontal = edges & (bit(left) | bit(right));
    const bool vertical = edges & (bit(top) | bit(bottom));
    if (edges == allEdges) {
        setCursor(Qt::SizeAllCursor);
    } else if (horizontal && vertical) {
        const bool falling =
            (edges & bit(left)) == 0 ? (edges & bit(bottom)) == 0 : (edges & bit(top)) != 0;
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal) {
        setCursor(Qt::SizeHorCursor);
    } else if (vertical) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
}

void CropFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragEdges_ = edgesAt(event->position());
    dragStart_ = event->position();
    dragFrame_ = frame_;
    // The edge taken by the mouse is the one the keys move next.
    for (const Edge edge : {left, top, right, bottom}) {
        if (dragEdges_ != allEdges && (dragEdges_ & bit(edge))) {
            edge_ = edge;
            break;
        }
    }
    update();
}

void CropFrame::mouseMoveEvent(QMouseEvent* event) {
    if (dragEdges_ != 0) {
        const QPointF delta = (event->position() - dragStart_) * scale();
        moveEdges(dragEdges_, QPoint(int(std::lround(delta.x())), int(std::lround(delta.y()))),
                  dragFrame_);
    }
    showCursor(event->position());
}

void CropFrame::mouseReleaseEvent(QMouseEvent*) {
    dragEdges_ = 0;
}

void CropFrame::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Q_EMIT applied(frame_);
    }
}
