#include "ui/main/PageListModel.h"

#include "model/ScannerViewModel.h"

#include <QMimeData>

#include <algorithm>

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
    case LooksBlankRole:
        return page->looksBlank();
    case Qt::AccessibleTextRole:
        return page->looksBlank() ? rowTitle(index.row()) + QStringLiteral(", looks blank")
                                  : rowTitle(index.row());
    case Qt::AccessibleDescriptionRole:
        return page->description();
    default:
        return {};
    }
}

Qt::ItemFlags PageListModel::flags(const QModelIndex& index) const {
    // Rows take no drops themselves: a drop lands between two rows.
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    return QAbstractListModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList PageListModel::mimeTypes() const {
    return {QString::fromLatin1(pagesMimeType)};
}

QMimeData* PageListModel::mimeData(const QModelIndexList& indexes) const {
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < ids_.size()) {
            rows << index.row();
        }
    }
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows) {
        lines << ids_[row].toString(QUuid::WithoutBraces);
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(pagesMimeType), lines.join(u'\n').toLatin1());
    return data;
}

Qt::DropActions PageListModel::supportedDragActions() const {
    return Qt::MoveAction;
}

Qt::DropActions PageListModel::supportedDropActions() const {
    return Qt::MoveAction;
}

bool PageListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int column,
                                    const QModelIndex& parent) const {
    return data != nullptr && data->hasFormat(QString::fromLatin1(pagesMimeType)) &&
           action == Qt::MoveAction && column <= 0 && !parent.isValid();
}

bool PageListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    QSet<QUuid> ids;
    const QByteArray lines = data->data(QString::fromLatin1(pagesMimeType));
    for (const QByteArray& line : lines.split('\n')) {
        const QUuid id = QUuid::fromString(QLatin1String(line));
        if (!id.isNull() && ids_.contains(id)) {
            ids.insert(id);
        }
    }
    if (ids.isEmpty()) {
        return false;
    }
    Q_EMIT pagesDropped(ids, row < 0 ? rowCount() : std::min(row, rowCount()));
    return true;
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
