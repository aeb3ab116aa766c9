#include "ui/main/PageRowDelegate.h"

#include "ui/controls/Theme.h"
#include "ui/main/PageListModel.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace {

QFont titleFont() {
    return Theme::font(13);
}

QFont descriptionFont() {
    return Theme::font(11);
}

constexpr int textSpacing = 2;

} // namespace

PageRowDelegate::PageRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QRectF PageRowDelegate::thumbnailRect(const QRect& row, const QSizeF& thumbnail) {
    const QRectF box(row.left() + horizontalPadding,
                     row.top() + (row.height() - thumbnailBox.height()) / 2.0, thumbnailBox.width(),
                     thumbnailBox.height());
    if (thumbnail.isEmpty()) {
        return box;
    }
    const QSizeF fitted = thumbnail.scaled(box.size(), Qt::KeepAspectRatio);
    return {box.left() + (box.width() - fitted.width()) / 2,
            box.top() + (box.height() - fitted.height()) / 2, fitted.width(), fitted.height()};
}

void PageRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QRect row = option.rect;
    painter->fillRect(row, Theme::elevated.color());
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(row, Theme::cyan.color(0.22));
    }
    painter->fillRect(QRect(row.left(), row.bottom(), row.width(), 1), Theme::line.color());

    const QImage thumbnail = index.data(PageListModel::ThumbnailRole).value<QImage>();
    const QRectF picture = thumbnailRect(row, QSizeF(thumbnail.size()));
    if (!thumbnail.isNull()) {
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(picture, thumbnail);
    }
    painter->setPen(QPen(Theme::line.color(), 1.0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(picture.adjusted(-0.5, -0.5, 0.5, 0.5));

    const int textLeft = row.left() + horizontalPadding + thumbnailBox.width() + spacing;
    const int textWidth = std::max(0, row.right() - horizontalPadding - textLeft);
    const QFontMetrics titleMetrics(titleFont());
    const QFontMetrics descriptionMetrics(descriptionFont());
    const int textHeight = titleMetrics.height() + textSpacing + descriptionMetrics.height();
    const int top = row.top() + (row.height() - textHeight) / 2;

    painter->setFont(titleFont());
    painter->setPen(Theme::ink.color());
    painter->drawText(
        QRect(textLeft, top, textWidth, titleMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(descriptionFont());
    painter->setPen(Theme::muted.color());
    painter->drawText(
        QRect(textLeft, top + titleMetrics.height() + textSpacing, textWidth,
              descriptionMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        descriptionMetrics.elidedText(index.data(PageListModel::DescriptionRole).toString(),
                                      Qt::ElideRight, textWidth));
    painter->restore();
}

QSize PageRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    // Rows take the list's width; their texts are cut to fit it.
    return {2 * horizontalPadding + thumbnailBox.width(),
            thumbnailBox.height() + 2 * verticalPadding};
}
