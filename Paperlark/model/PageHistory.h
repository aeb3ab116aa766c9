#pragma once

#include "pages/ScannedPage.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

// The undo and redo history of the page list: snapshots of the list's order,
// its selection and every page's rotation, taken before each change.
//
// The snapshots hold the page objects themselves, so a deleted page stays
// whole (with its cache file) for as long as a snapshot can bring it back.
// When snapshots are dropped (a new change after an undo, the oldest beyond
// the limit, clear()) the pages that no snapshot holds any more are handed
// out by takeReleased(), for the owner to discard unless its list still holds
// them.
//
// Undo and redo come in two steps so that a failed restore leaves the
// history as it was: nextUndo()/nextRedo() show the state to restore, and
// only undone()/redone() move through the history.
class PageHistory {
public:
    using Pages = QList<std::shared_ptr<ScannedPage>>;

    struct State {
        Pages pages;
        std::optional<QUuid> current;
        QSet<QUuid> selection;
        // Each page's quarter turns when the snapshot was taken.
        QHash<QUuid, int> turns;
    };

    static constexpr int defaultLimit = 100;

    explicit PageHistory(int limit = defaultLimit);

    // A snapshot of the list as it is.
    static State capture(const Pages& pages, const std::optional<QUuid>& current,
                         const QSet<QUuid>& selection);

    // Records the state before a change; whatever could be redone is dropped.
    void record(State before);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The state an undo (redo) would restore, or null.
    const State* nextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
    const State* nextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }
    // The restore of nextUndo() (nextRedo()) succeeded; `present` is the state
    // it replaced, kept for the way back.
    void undone(State present);
    void redone(State present);

    // Pages were added to the list. Additions are not steps of their own:
    // every snapshot takes the pages at its end, so going back or forth
    // keeps them.
    void appended(const Pages& added);

    // Drops every snapshot.
    void clear();

    // Pages of dropped snapshots that no snapshot holds any more and that
    // are not in `list`; each page is handed out once.
    Pages takeReleased(const Pages& list);

    // Every page some snapshot holds.
    QSet<QUuid> heldIds() const;

private:
    void drop(std::vector<State>& states);

    int limit_;
    std::vector<State> undo_; // oldest first
    std::vector<State> redo_; // the next redo last
    Pages dropped_;
};
