#include "ui/main/PageListModel.h"

#include "model/ScannerViewModel.h"

PageListModel::PageListModel(ScannerViewModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model) {
    for (const auto& page : model_.pages()) {
        ids_ << page->id();
    }
    connect(&model_, &ScannerViewModel::pagesChanged, this, &PageListModel::follow);
}

int PageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

QVariant PageListModel::data(const QModelIndex& index, int role) const {
    const auto& pages = model_.pages();
    if (!index.isValid() || index.row() >= pages.size()) {
        return {};
    }
    const auto& page = pages[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return rowTitle(index.row());
    case Qt::ToolTipRole:
    case DescriptionRole:
        return page->description();
    case ThumbnailRole:
        return page->thumbnail();
    case IdRole:
        return page->id();
    default:
        return {};
    }
}

std::optional<int> PageListModel::rowOf(const QUuid& id) const {
    const qsizetype row = ids_.indexOf(id);
    if (row < 0) {
        return std::nullopt;
    }
    return static_cast<int>(row);
}

QUuid PageListModel::idAt(int row) const {
    return row >= 0 && row < ids_.size() ? ids_[row] : QUuid();
}

QString PageListModel::rowTitle(int row) {
    return QStringLiteral("Page ") + QString::number(row + 1);
}

void PageListModel::follow() {
    QList<QUuid> ids;
    ids.reserve(model_.pages().size());
    for (const auto& page : model_.pages()) {
        ids << page->id();
    }
    if (ids == ids_) {
        // Same pages in the same order: only their pictures or sizes changed.
        if (!ids_.isEmpty()) {
            Q_EMIT dataChanged(index(0), index(static_cast<int>(ids_.size()) - 1));
        }
        return;
    }
    beginResetModel();
    ids_ = std::move(ids);
    endResetModel();
    Q_EMIT rowsRebuilt();
}
