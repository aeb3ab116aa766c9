#include "model/PageDocument.h"

#include "model/PageOrder.h"
#include "pages/ImageFile.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace {

void discard(const PageDocument::Pages& pages) {
    for (const auto& page : pages) {
        page->discard();
    }
}

} // namespace

PageDocument::PageDocument(QObject* parent) : QObject(parent) {
    // Added pages are no step of their own: the history keeps them through
    // undo and redo, however they came.
    connect(&list_, &PageList::appended, this,
            [this](const Pages& added) { history_.appended(added); });
}

PageDocument::~PageDocument() = default;

void PageDocument::setSelectedID(std::optional<QUuid> id) {
    list_.setSelectedID(std::move(id));
    Q_EMIT selectionChanged();
}

void PageDocument::setSelection(QSet<QUuid> ids, std::optional<QUuid> current) {
    list_.setSelection(std::move(ids), std::move(current));
    Q_EMIT selectionChanged();
}

bool PageDocument::add(const Pages& pages, bool select) {
    if (!list_.append(pages, select)) {
        return false;
    }
    Q_EMIT pagesChanged();
    if (select) {
        Q_EMIT selectionChanged();
    }
    return true;
}

void PageDocument::pagesAltered() {
    list_.pagesAltered();
    Q_EMIT pagesChanged();
}

void PageDocument::publishPages() {
    Q_EMIT pagesChanged();
    Q_EMIT selectionChanged();
}

QString PageDocument::readyText() const {
    return QString::number(list_.size()) + QStringLiteral(" page(s) ready.");
}

// ---- Arranging ------------------------------------------------------------------

template <typename Change> bool PageDocument::undoable(Change&& change) {
    PageHistory::State before =
        PageHistory::capture(list_.pages(), list_.selectedID(), list_.selectedIDs());
    if (!std::forward<Change>(change)()) {
        return false;
    }
    history_.record(std::move(before));
    discard(history_.takeReleased(list_.pages()));
    Q_EMIT historyChanged();
    return true;
}

void PageDocument::moveSelection(int offset) {
    if (undoable([&] { return list_.moveSelected(offset); })) {
        publishPages();
    }
}

void PageDocument::deleteSelection() {
    if (!undoable([this] { return !list_.removeSelection().isEmpty(); })) {
        return;
    }
    publishPages();
    Q_EMIT statusReported(readyText());
}

void PageDocument::clear() {
    if (list_.isEmpty()) {
        return;
    }
    undoable([this] { return !list_.clear().isEmpty(); });
    publishPages();
    Q_EMIT statusReported(QStringLiteral("Pages cleared."));
}

void PageDocument::rotateSelection(int quarterTurns) {
    QHash<QUuid, int> turns;
    for (const auto& page : list_.selectedPages()) {
        turns.insert(page->id(), quarterTurns);
    }
    turnPages(turns);
}

int PageDocument::turnPages(const QHash<QUuid, int>& turns) {
    std::optional<QString> failure;
    int count = 0;
    const bool rotated = undoable([&] {
        for (const auto& page : list_.pages()) {
            const auto by = turns.constFind(page->id());
            if (by == turns.cend() || (*by & 3) == 0) {
                continue;
            }
            const auto turned = page->rotate(*by);
            if (!turned) {
                failure = turned.failure().description();
                break;
            }
            ++count;
        }
        return count > 0;
    });
    if (rotated) {
        pagesAltered();
    }
    if (failure) {
        Q_EMIT failed(*failure);
    }
    return count;
}

int PageDocument::replacePages(const QHash<QUuid, std::shared_ptr<ScannedPage>>& replacements) {
    int count = 0;
    const auto replaced = [&](const QUuid& id) {
        const auto found = replacements.constFind(id);
        return found != replacements.cend() && *found ? (*found)->id() : id;
    };
    const bool changed = undoable([&] {
        Pages pages = list_.pages();
        for (auto& page : pages) {
            if (const auto found = replacements.constFind(page->id());
                found != replacements.cend() && *found) {
                page = *found;
                ++count;
            }
        }
        if (count == 0) {
            return false;
        }
        QSet<QUuid> selection;
        for (const QUuid& id : list_.selectedIDs()) {
            selection.insert(replaced(id));
        }
        const std::optional<QUuid> current =
            list_.selectedID() ? std::optional(replaced(*list_.selectedID())) : std::nullopt;
        list_.restore(std::move(pages), current, std::move(selection));
        return true;
    });
    if (changed) {
        publishPages();
    }
    return count;
}

void PageDocument::movePages(const QSet<QUuid>& ids, int row) {
    if (undoable([&] { return list_.reorder(PageOrder::movedTo(list_.pages(), ids, row)); })) {
        publishPages();
    }
}

QSet<QUuid> PageDocument::pagesToArrange() const {
    if (list_.selectedPages().size() > 1) {
        return list_.selectedIDs();
    }
    const QList<QUuid> all = PageOrder::ids(list_.pages());
    return {all.cbegin(), all.cend()};
}

void PageDocument::interleaveSelection() {
    const QSet<QUuid> set = pagesToArrange();
    const auto order = PageOrder::interleaved(list_.pages(), set);
    if (!order) {
        Q_EMIT failed(QStringLiteral("Cannot interleave %1 page(s): that needs an even number, "
                                     "the fronts in order followed by the backs in reverse order.")
                          .arg(set.size()));
        return;
    }
    if (undoable([&] { return list_.reorder(*order); })) {
        publishPages();
        Q_EMIT statusReported(QStringLiteral("Interleaved %1 page(s).").arg(set.size()));
    }
}

void PageDocument::reverseSelection() {
    const QSet<QUuid> set = pagesToArrange();
    if (undoable([&] { return list_.reorder(PageOrder::reversed(list_.pages(), set)); })) {
        publishPages();
        Q_EMIT statusReported(QStringLiteral("Reversed the order of %1 page(s).").arg(set.size()));
    }
}

void PageDocument::selectBlankPages() {
    QSet<QUuid> blank;
    std::optional<QUuid> first;
    for (const auto& page : list_.pages()) {
        if (page->looksBlank()) {
            blank.insert(page->id());
            if (!first) {
                first = page->id();
            }
        }
    }
    if (blank.isEmpty()) {
        Q_EMIT statusReported(QStringLiteral("No page looks blank."));
        return;
    }
    setSelection(std::move(blank), first);
    Q_EMIT statusReported(
        QString::number(list_.selectedIDs().size()) +
        QStringLiteral(" page(s) look blank. Check them, then delete the ones to go."));
}

// ---- Undo and redo --------------------------------------------------------------

void PageDocument::undo() {
    stepHistory(true);
}

void PageDocument::redo() {
    stepHistory(false);
}

void PageDocument::stepHistory(bool back) {
    const PageHistory::State* target = back ? history_.nextUndo() : history_.nextRedo();
    if (target == nullptr) {
        return;
    }
    PageHistory::State present =
        PageHistory::capture(list_.pages(), list_.selectedID(), list_.selectedIDs());
    if (const auto failure = restore(*target)) {
        Q_EMIT failed((back ? QStringLiteral("The change could not be undone. ")
                            : QStringLiteral("The change could not be redone. ")) +
                      *failure);
        return;
    }
    if (back) {
        history_.undone(std::move(present));
    } else {
        history_.redone(std::move(present));
    }
    publishPages();
    Q_EMIT historyChanged();
    Q_EMIT statusReported((back ? QStringLiteral("Undone. ") : QStringLiteral("Redone. ")) +
                          readyText());
}

std::optional<QString> PageDocument::restore(const PageHistory::State& state) {
    // A page that comes back needs its cache file.
    QSet<QUuid> listed;
    for (const auto& page : list_.pages()) {
        listed.insert(page->id());
    }
    for (const auto& page : state.pages) {
        if (!listed.contains(page->id()) && !QFileInfo::exists(page->cacheURL().toLocalFile())) {
            return ImageFile::Failure::unreadable(page->cacheURL()).description();
        }
    }
    // Turn pages back (or forth); a failure turns back those already turned.
    QList<std::pair<std::shared_ptr<ScannedPage>, int>> turned;
    for (const auto& page : state.pages) {
        const int turns =
            (state.turns.value(page->id(), page->quarterTurns()) - page->quarterTurns()) & 3;
        if (turns == 0) {
            continue;
        }
        if (const auto rotated = page->rotate(turns); !rotated) {
            for (const auto& [done, by] : turned) {
                done->rotate(-by);
            }
            return rotated.failure().description();
        }
        turned.append({page, turns});
    }
    list_.restore(state.pages, state.current, state.selection);
    if (!turned.isEmpty()) {
        pagesAltered();
    }
    return std::nullopt;
}

// ---- Saved state ----------------------------------------------------------------

void PageDocument::markSaved() {
    for (const auto& page : list_.pages()) {
        savedRevisions_.insert(page->id(), page->revision());
    }
}

int PageDocument::unsavedPageCount() const {
    return int(
        std::count_if(list_.pages().cbegin(), list_.pages().cend(), [this](const auto& page) {
            const auto saved = savedRevisions_.constFind(page->id());
            return saved == savedRevisions_.cend() || *saved != page->revision();
        }));
}

void PageDocument::discardAll() {
    history_.clear();
    discard(history_.takeReleased({}));
    Q_EMIT historyChanged();
    discard(list_.pages());
}
