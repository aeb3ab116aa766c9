#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

#include <optional>

class ScannerViewModel;

// The view model's page list as rows for a list view: one row per page, in
// list order. The display text is "Page " and the row's position counted
// from 1; the thumbnail and the page's description come with their own
// roles. Follows the view model: a change of order or membership resets the
// rows, a change inside the pages (a rotation) only refreshes them.
class PageListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        ThumbnailRole = Qt::UserRole + 1, // QImage, 120 x 160
        DescriptionRole,                  // "2480 x 3508 px @ 300 dpi"
        IdRole,                           // QUuid
    };

    explicit PageListModel(ScannerViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The row of the page with that id, or nothing.
    std::optional<int> rowOf(const QUuid& id) const;
    // The id of the page in that row.
    QUuid idAt(int row) const;

    static QString rowTitle(int row);

Q_SIGNALS:
    // The rows were rebuilt (the view's selection is gone).
    void rowsRebuilt();

private:
    void follow();

    ScannerViewModel& model_;
    QList<QUuid> ids_;
};
