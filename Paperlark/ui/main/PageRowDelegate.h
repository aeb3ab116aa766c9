#pragma once

#include <QStyledItemDelegate>

// Draws one row of the page list on the `elevated` fill: the page's
// thumbnail fitted into 42 x 56 points with a `line` border, and beside it
// "Page N" in `ink` over the page's description in 11-point `muted`. A
// selected row is tinted with the accent colour; a `line` rule separates
// the rows.
class PageRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr QSize thumbnailBox{42, 56};
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 4;
    static constexpr int spacing = 8;

    explicit PageRowDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the thumbnail is drawn inside a row's rectangle: fitted into the
    // 42 x 56 box with its proportions kept.
    static QRectF thumbnailRect(const QRect& row, const QSizeF& thumbnail);
};
