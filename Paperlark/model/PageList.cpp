#include "model/PageList.h"

#include "model/PageOrder.h"

#include <algorithm>
#include <iterator>
#include <utility>

PageList::PageList(QObject* parent) : QObject(parent) {}

namespace {

QSet<QUuid> only(const std::optional<QUuid>& id) {
    return id ? QSet<QUuid>{*id} : QSet<QUuid>{};
}

} // namespace

void PageList::setSelectedID(std::optional<QUuid> id) {
    if (id == selectedID_ && selectedIDs_ == only(id)) {
        return;
    }
    selectedID_ = std::move(id);
    selectedIDs_ = only(selectedID_);
    Q_EMIT changed();
}

void PageList::setSelection(QSet<QUuid> ids, std::optional<QUuid> current) {
    if (current) {
        ids.insert(*current);
    }
    if (current == selectedID_ && ids == selectedIDs_) {
        return;
    }
    selectedID_ = std::move(current);
    selectedIDs_ = std::move(ids);
    Q_EMIT changed();
}

PageList::Pages PageList::selectedPages() const {
    Pages selected;
    for (const auto& page : pages_) {
        if (selectedIDs_.contains(page->id())) {
            selected << page;
        }
    }
    return selected;
}

qsizetype PageList::selectedIndex() const {
    if (!selectedID_) {
        return -1;
    }
    const auto found = std::find_if(pages_.cbegin(), pages_.cend(), [this](const auto& page) {
        return page->id() == *selectedID_;
    });
    return found == pages_.cend() ? -1 : std::distance(pages_.cbegin(), found);
}

std::shared_ptr<ScannedPage> PageList::selectedPage() const {
    const qsizetype index = selectedIndex();
    return index < 0 ? nullptr : pages_[index];
}

bool PageList::append(const Pages& added, bool select) {
    const qsizetype before = pages_.size();
    for (const auto& page : added) {
        if (page) {
            pages_.append(page);
        }
    }
    if (pages_.size() == before) {
        return false;
    }
    if (select) {
        selectedID_ = pages_.last()->id();
        selectedIDs_ = only(selectedID_);
    }
    Q_EMIT appended(pages_.mid(before));
    Q_EMIT changed();
    return true;
}

bool PageList::moveSelected(int offset) {
    if (selectedPages().size() > 1) {
        return reorder(PageOrder::moved(pages_, selectedIDs_, offset));
    }
    const qsizetype index = selectedIndex();
    if (index < 0) {
        return false;
    }
    const qsizetype target = index + offset;
    if (target < 0 || target >= pages_.size() || target == index) {
        return false;
    }
    pages_.swapItemsAt(index, target);
    Q_EMIT changed();
    return true;
}

std::shared_ptr<ScannedPage> PageList::removeSelected() {
    const qsizetype index = selectedIndex();
    if (index < 0) {
        return nullptr;
    }
    std::shared_ptr<ScannedPage> removed = pages_.takeAt(index);
    selectAfterRemoval(index);
    return removed;
}

void PageList::selectAfterRemoval(qsizetype index) {
    if (index < pages_.size()) {
        selectedID_ = pages_[index]->id();
    } else if (!pages_.isEmpty()) {
        selectedID_ = pages_.last()->id();
    } else {
        selectedID_.reset();
    }
    selectedIDs_ = only(selectedID_);
    Q_EMIT changed();
}

PageList::Pages PageList::removeSelection() {
    if (selectedPages().size() <= 1) {
        const std::shared_ptr<ScannedPage> removed = removeSelected();
        return removed ? Pages{removed} : Pages{};
    }
    Pages removed, kept;
    qsizetype first = -1;
    for (qsizetype i = 0; i < pages_.size(); ++i) {
        if (selectedIDs_.contains(pages_[i]->id())) {
            removed << pages_[i];
            if (first < 0) {
                first = i; // the page after it moves up into its place
            }
        } else {
            kept << pages_[i];
        }
    }
    pages_ = std::move(kept);
    selectAfterRemoval(first);
    return removed;
}

bool PageList::reorder(const Pages& order) {
    if (order == pages_ || order.size() != pages_.size()) {
        return false;
    }
    QList<QUuid> now = PageOrder::ids(pages_), then = PageOrder::ids(order);
    std::sort(now.begin(), now.end());
    std::sort(then.begin(), then.end());
    if (now != then) {
        return false;
    }
    pages_ = order;
    Q_EMIT changed();
    return true;
}

void PageList::restore(Pages pages, std::optional<QUuid> current, QSet<QUuid> selection) {
    pages_ = std::move(pages);
    selectedID_ = std::move(current);
    selectedIDs_ = std::move(selection);
    if (selectedID_) {
        selectedIDs_.insert(*selectedID_);
    }
    Q_EMIT changed();
}

PageList::Pages PageList::clear() {
    if (pages_.isEmpty() && !selectedID_) {
        return {};
    }
    Pages removed = std::exchange(pages_, {});
    selectedID_.reset();
    selectedIDs_.clear();
    Q_EMIT changed();
    return removed;
}
