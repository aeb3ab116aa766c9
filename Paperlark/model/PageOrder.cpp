#include "model/PageOrder.h"

#include <algorithm>
#include <cstdlib>

namespace {

using Pages = PageOrder::Pages;

bool contains(const QSet<QUuid>& set, const std::shared_ptr<ScannedPage>& page) {
    return set.contains(page->id());
}

// The positions of the set's pages, in list order.
QList<qsizetype> positions(const Pages& pages, const QSet<QUuid>& set) {
    QList<qsizetype> result;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (contains(set, pages[i])) {
            result << i;
        }
    }
    return result;
}

// `pages` with the pages at `at` replaced, in order, by `placed`.
Pages placed(Pages pages, const QList<qsizetype>& at, const Pages& placed) {
    for (qsizetype i = 0; i < at.size(); ++i) {
        pages[at[i]] = placed[i];
    }
    return pages;
}

Pages pagesAt(const Pages& pages, const QList<qsizetype>& at) {
    Pages result;
    result.reserve(at.size());
    for (const qsizetype i : at) {
        result << pages[i];
    }
    return result;
}

} // namespace

Pages PageOrder::moved(const Pages& pages, const QSet<QUuid>& moving, int offset) {
    Pages result = pages;
    const qsizetype count = result.size();
    // One place at a time: a page swaps with an unselected neighbour; a
    // selected neighbour that could not move blocks it.
    for (int step = 0; step < std::abs(offset); ++step) {
        if (offset < 0) {
            for (qsizetype i = 1; i < count; ++i) {
                if (contains(moving, result[i]) && !contains(moving, result[i - 1])) {
                    result.swapItemsAt(i, i - 1);
                }
            }
        } else {
            for (qsizetype i = count - 2; i >= 0; --i) {
                if (contains(moving, result[i]) && !contains(moving, result[i + 1])) {
                    result.swapItemsAt(i, i + 1);
                }
            }
        }
    }
    return result;
}

Pages PageOrder::movedTo(const Pages& pages, const QSet<QUuid>& moving, int row) {
    Pages taken, kept;
    qsizetype insertAt = 0;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (contains(moving, pages[i])) {
            taken << pages[i];
        } else {
            if (i < row) {
                ++insertAt;
            }
            kept << pages[i];
        }
    }
    Pages result = kept.mid(0, insertAt);
    result << taken << kept.mid(insertAt);
    return result;
}

std::optional<Pages> PageOrder::interleaved(const Pages& pages, const QSet<QUuid>& set) {
    const QList<qsizetype> at = positions(pages, set);
    if (at.size() % 2 != 0) {
        return std::nullopt;
    }
    const Pages chosen = pagesAt(pages, at);
    const qsizetype half = chosen.size() / 2;
    Pages order;
    order.reserve(chosen.size());
    for (qsizetype i = 0; i < half; ++i) {
        order << chosen[i] << chosen[chosen.size() - 1 - i];
    }
    return placed(pages, at, order);
}

Pages PageOrder::reversed(const Pages& pages, const QSet<QUuid>& set) {
    const QList<qsizetype> at = positions(pages, set);
    Pages order = pagesAt(pages, at);
    std::reverse(order.begin(), order.end());
    return placed(pages, at, order);
}

QList<QUuid> PageOrder::ids(const Pages& pages) {
    QList<QUuid> result;
    result.reserve(pages.size());
    for (const auto& page : pages) {
        result << page->id();
    }
    return result;
}
