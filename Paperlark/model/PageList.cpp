#include "model/PageList.h"

#include <algorithm>
#include <iterator>
#include <utility>

PageList::PageList(QObject* parent) : QObject(parent) {}

void PageList::setSelectedID(std::optional<QUuid> id) {
    if (id == selectedID_) {
        return;
    }
    selectedID_ = std::move(id);
    Q_EMIT changed();
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

bool PageList::append(const Pages& added) {
    const qsizetype before = pages_.size();
    for (const auto& page : added) {
        if (page) {
            pages_.append(page);
        }
    }
    if (pages_.size() == before) {
        return false;
    }
    selectedID_ = pages_.last()->id();
    Q_EMIT changed();
    return true;
}

bool PageList::moveSelected(int offset) {
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
    if (index < pages_.size()) {
        selectedID_ = pages_[index]->id();
    } else if (!pages_.isEmpty()) {
        selectedID_ = pages_.last()->id();
    } else {
        selectedID_.reset();
    }
    Q_EMIT changed();
    return removed;
}

PageList::Pages PageList::clear() {
    if (pages_.isEmpty() && !selectedID_) {
        return {};
    }
    Pages removed = std::exchange(pages_, {});
    selectedID_.reset();
    Q_EMIT changed();
    return removed;
}
