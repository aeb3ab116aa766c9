#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QWidget>

#include <optional>

// The crop frame over the preview's picture: a rectangle with handles at its
// corners and edges, the page outside it dimmed. It covers its parent and
// works in the page's pixels (as the page shows), drawn over the picture at
// pictureRect.
//
// Mouse: drag an edge or a corner handle to move it, drag inside to move the
// frame; a double-click applies. Keyboard: Tab and Shift+Tab choose the
// edge (the chosen one is drawn brighter), the arrow keys move it (with
// Shift ten times as far), Return applies and Escape leaves. The frame never
// leaves the page and never gets thinner than minimumSize page pixels.
class CropFrame : public QWidget {
    Q_OBJECT

public:
    enum Edge { left, top, right, bottom };

    static constexpr int minimumSize = 16;
    // How near, in points, the pointer must come to grab an edge.
    static constexpr double grabDistance = 8;

    CropFrame(QSize pageSize, QWidget* parent);

    QRect frame() const { return frame_; }
    // Sets the frame (kept inside the page); until the user moves it.
    void setFrame(const QRect& frame);
    // Whether the user has moved the frame.
    bool moved() const { return moved_; }
    Edge focusedEdge() const { return edge_; }
    // Where the page is drawn, in this widget's coordinates.
    void setPictureRect(const QRectF& rect);
    QRectF pictureRect() const { return picture_; }
    // The frame in this widget's coordinates.
    QRectF frameOnScreen() const;

Q_SIGNALS:
    void applied(const QRect& frame);
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // Edges a press at `point` takes hold of: bit per Edge; all four for a
    // press inside the frame (moving it), none outside.
    int edgesAt(const QPointF& point) const;
    // Moves the held edges by `delta` page pixels, keeping the frame valid.
    void moveEdges(int edges, QPoint delta, const QRect& from);
    // Page pixels per point on screen.
    double scale() const;
    void showCursor(const QPointF& point);

    QSize pageSize_;
    QRect frame_;
    QRectF picture_;
    Edge edge_ = left;
    bool moved_ = false;
    // A drag: the edges held, where it started and the frame then.
    int dragEdges_ = 0;
    QPointF dragStart_;
    QRect dragFrame_;
};
