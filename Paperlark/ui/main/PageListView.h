#pragma once

#include <QListView>

#include <optional>

// The page list's view: a list view that draws where dragged pages would
// land, as a `cyan` line across the gap between two rows (or after the last
// row), while pages are dragged over it.
class PageListView : public QListView {
    Q_OBJECT

public:
    static constexpr int indicatorThickness = 2;

    explicit PageListView(QWidget* parent = nullptr);

    // The gap the dragged pages would drop into, as the row they would land
    // before (the row count: after the last row); nothing while no drag of
    // pages is over the list.
    std::optional<int> dropRow() const { return dropRow_; }
    // Where the drop indicator is drawn, in the viewport's coordinates.
    QRect dropIndicatorRect() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void followDrag(const QPoint& position, bool accepted);
    void setDropRow(std::optional<int> row);

    std::optional<int> dropRow_;
};
