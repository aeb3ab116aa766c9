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

QFont blankMarkFont() {
    return Theme::font(10, QFont::DemiBold);
}

constexpr int textSpacing = 2;
constexpr int markPadding = 5;
constexpr int markHeight = 16;

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

QString PageRowDelegate::blankMarkText() {
    return QStringLiteral("Blank?");
}

QRect PageRowDelegate::blankMarkRect(const QRect& row) {
    const int width =
        QFontMetrics(blankMarkFont()).horizontalAdvance(blankMarkText()) + 2 * markPadding;
    const int titleTop =
        row.top() + (row.height() - (QFontMetrics(titleFont()).height() + textSpacing +
                                     QFontMetrics(descriptionFont()).height())) /
                        2;
    const int titleCentre = titleTop + QFontMetrics(titleFont()).height() / 2;
    return {row.right() - horizontalPadding - width + 1, titleCentre - markHeight / 2, width,
            markHeight};
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

    int titleWidth = textWidth;
    if (index.data(PageListModel::LooksBlankRole).toBool()) {
        const QRect mark = blankMarkRect(row);
        titleWidth = std::max(0, mark.left() - spacing - textLeft);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Theme::danger.color(0.7), 1.0));
        painter->setBrush(Theme::danger.color(0.16));
        painter->drawRoundedRect(QRectF(mark).adjusted(0.5, 0.5, -0.5, -0.5), markHeight / 2.0,
                                 markHeight / 2.0);
        painter->setFont(blankMarkFont());
        painter->setPen(Theme::danger.color());
        painter->drawText(mark, Qt::AlignCenter | Qt::TextSingleLine, blankMarkText());
        painter->setRenderHint(QPainter::Antialiasing, false);
    }
    painter->setFont(titleFont());
    painter->setPen(Theme::ink.color());
    painter->drawText(QRect(textLeft, top, titleWidth, titleMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                              Qt::ElideRight, titleWidth));
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
