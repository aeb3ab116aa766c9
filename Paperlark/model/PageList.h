#pragma once

#include "pages/ScannedPage.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <memory>
#include <optional>

// The ordered pages and the selected page.
//
// Order is display order and save order. The selection is an id that may
// name no page (the windows may set any id); it is kept in step by every
// operation here:
//   append  the last page added becomes selected;
//   move    the selected page swaps places with its neighbour and stays
//           selected; nothing happens without a selection or beyond an end;
//   remove  the page that followed the removed one is selected, else the
//           new last page, else nothing;
//   clear   no pages, nothing selected.
//
// The list never discards a page's cache file: removing operations hand the
// removed pages back and the caller decides what becomes of them. changed()
// is emitted once after every operation that altered the order, the pages or
// the selection; it is the one place to follow the list.
class PageList : public QObject {
    Q_OBJECT

public:
    using Pages = QList<std::shared_ptr<ScannedPage>>;

    explicit PageList(QObject* parent = nullptr);

    const Pages& pages() const { return pages_; }
    qsizetype size() const { return pages_.size(); }
    bool isEmpty() const { return pages_.isEmpty(); }

    const std::optional<QUuid>& selectedID() const { return selectedID_; }
    // Selects any id, also one no page has (or none).
    void setSelectedID(std::optional<QUuid> id);
    // Index of the first page with the selected id; -1 when there is none.
    qsizetype selectedIndex() const;
    // The first page with the selected id; null when there is none.
    std::shared_ptr<ScannedPage> selectedPage() const;

    // Appends the pages in order and selects the last one. Null pages are
    // skipped; returns false (and changes nothing) when none is left.
    bool append(const Pages& added);

    // Moves the selected page by `offset` places (-1 up, +1 down). Returns
    // false, changing nothing, without a selection or beyond either end.
    bool moveSelected(int offset);

    // Removes the selected page and returns it; null (nothing changed)
    // without a selection.
    std::shared_ptr<ScannedPage> removeSelected();

    // Removes every page and the selection; returns the pages removed, in
    // order (nothing changes when the list is already empty).
    Pages clear();

Q_SIGNALS:
    void changed();

private:
    Pages pages_;
    std::optional<QUuid> selectedID_;
};
