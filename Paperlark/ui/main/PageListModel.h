#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

class ScannerViewModel;

// The view model's page list as rows for a list view: one row per page, in
// list order. The display text is "Page " and the row's position counted
// from 1; the thumbnail and the page's description come with their own
// roles. Follows the view model: a change of order or membership resets the
// rows, a change inside the pages (a rotation) only refreshes them.
//
// Rows can be dragged (one or several, as the page ids in a MIME type of our
// own) and dropped between rows; a drop is only announced (pagesDropped),
// the owner moves the pages.
class PageListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        ThumbnailRole = Qt::UserRole + 1, // QImage, 120 x 160
        DescriptionRole,                  // "2480 x 3508 px @ 300 dpi"
        IdRole,                           // QUuid
        LooksBlankRole,                   // bool: the page seems to carry nothing
    };

    // The MIME type of dragged rows: their page ids, one a line.
    static constexpr auto pagesMimeType = "application/x-paperlark-pages";

    explicit PageListModel(ScannerViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The row of the page with that id, or nothing.
    std::optional<int> rowOf(const QUuid& id) const;
    // The id of the page in that row.
    QUuid idAt(int row) const;

    static QString rowTitle(int row);

Q_SIGNALS:
    // The rows were rebuilt (the view's selection is gone).
    void rowsRebuilt();
    // Dragged pages were dropped into the gap before `row` (the row count:
    // after the last row).
    void pagesDropped(const QSet<QUuid>& ids, int row);

private:
    void follow();

    ScannerViewModel& model_;
    QList<QUuid> ids_;
};
