#pragma once

#include "pages/ScannedPage.h"

#include <QList>
#include <QObject>
#include <QSet>
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
// Several pages may be selected together: selectedIDs() is the whole set,
// and the selected id stays the "current" page among them (the one shown
// in the preview). Setting the selected id alone selects that page alone.
// With several pages selected, move and remove act on all of them:
//   move    each selected page moves by the offset, keeping their order;
//           a page at an end (and selected pages stopped behind it) stays;
//   remove  all are removed; the page that followed the first removed one
//           is selected, else the new last page, else nothing.
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
    // Selects any id alone, also one no page has (or none).
    void setSelectedID(std::optional<QUuid> id);
    // Every selected id; holds the selected id when there is one.
    const QSet<QUuid>& selectedIDs() const { return selectedIDs_; }
    // Selects several pages; `current` (which joins the set) becomes the
    // selected id.
    void setSelection(QSet<QUuid> ids, std::optional<QUuid> current);
    // The selected pages in list order.
    Pages selectedPages() const;
    // Index of the first page with the selected id; -1 when there is none.
    qsizetype selectedIndex() const;
    // The first page with the selected id; null when there is none.
    std::shared_ptr<ScannedPage> selectedPage() const;

    // Appends the pages in order and selects the last one (unless `select`
    // is false: the selection then stays). Null pages are skipped; returns
    // false (and changes nothing) when none is left.
    bool append(const Pages& added, bool select = true);

    // Announces a change inside the pages (a rotation).
    void pagesAltered() { Q_EMIT changed(); }

    // Moves the selected page (pages) by `offset` places (-1 up, +1 down).
    // Returns false, changing nothing, without a selection or when nothing
    // can move.
    bool moveSelected(int offset);

    // Removes the selected page and returns it; null (nothing changed)
    // without a selection.
    std::shared_ptr<ScannedPage> removeSelected();
    // Removes every selected page and returns them in list order; empty
    // (nothing changed) without a selection.
    Pages removeSelection();

    // Puts the same pages in a new order; the selection stays. Returns false,
    // changing nothing, when `order` is the present order or not the same
    // pages.
    bool reorder(const Pages& order);

    // Replaces pages and selection at once (an undo or redo).
    void restore(Pages pages, std::optional<QUuid> current, QSet<QUuid> selection);

    // Removes every page and the selection; returns the pages removed, in
    // order (nothing changes when the list is already empty).
    Pages clear();

Q_SIGNALS:
    void changed();
    // Pages were appended (before changed()).
    void appended(const PageList::Pages& pages);

private:
    // Selects the page now at `index` (the one that followed the removed
    // pages), else the last page, else nothing; announces the change.
    void selectAfterRemoval(qsizetype index);

    Pages pages_;
    std::optional<QUuid> selectedID_;
    QSet<QUuid> selectedIDs_;
};
