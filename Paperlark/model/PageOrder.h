#pragma once

#include "pages/ScannedPage.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <memory>
#include <optional>

// New orders of the page list for the list's reordering actions. Each takes
// the list and the pages it acts on (by id) and returns the whole list in its
// new order; pages outside the set keep their places. Stateless.
class PageOrder {
public:
    using Pages = QList<std::shared_ptr<ScannedPage>>;

    // Moves every page of `moving` by `offset` places (negative: towards the
    // top), keeping their order among themselves. A page that would pass an
    // end of the list, or a page of the set already stopped there, stays put:
    // moving pages 1 and 3 of five up by one gives 1 3 2 4 5.
    static Pages moved(const Pages& pages, const QSet<QUuid>& moving, int offset);

    // Takes the pages of `moving` out and puts them back together, in their
    // order, where the gap before the page at `row` was (row = the number of
    // pages: at the end). This is a drop at `row` of a drag.
    static Pages movedTo(const Pages& pages, const QSet<QUuid>& moving, int row);

    // Two-sided stacks scanned on a one-sided feeder: of the pages of `set`,
    // in list order, the first half are the fronts in order and the second
    // half the backs in reverse order; they become F1 B1 F2 B2 ... in the
    // places the set had. Nothing for an odd number of pages.
    static std::optional<Pages> interleaved(const Pages& pages, const QSet<QUuid>& set);

    // The pages of `set` in reverse order, in the places the set had.
    static Pages reversed(const Pages& pages, const QSet<QUuid>& set);

    // The ids of the pages, in list order.
    static QList<QUuid> ids(const Pages& pages);
};
