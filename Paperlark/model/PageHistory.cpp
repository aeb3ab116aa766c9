#include "model/PageHistory.h"

#include <algorithm>

PageHistory::PageHistory(int limit) : limit_(std::max(0, limit)) {}

PageHistory::State PageHistory::capture(const Pages& pages, const std::optional<QUuid>& current,
                                        const QSet<QUuid>& selection) {
    State state{pages, current, selection, {}};
    for (const auto& page : pages) {
        state.turns.insert(page->id(), page->quarterTurns());
    }
    return state;
}

void PageHistory::record(State before) {
    drop(redo_);
    undo_.push_back(std::move(before));
    while (undo_.size() > std::size_t(limit_)) { // the oldest go first
        dropped_ << undo_.front().pages;
        undo_.erase(undo_.begin());
    }
}

void PageHistory::undone(State present) {
    if (undo_.empty()) {
        return;
    }
    undo_.pop_back();
    redo_.push_back(std::move(present));
}

void PageHistory::redone(State present) {
    if (redo_.empty()) {
        return;
    }
    redo_.pop_back();
    undo_.push_back(std::move(present));
}

void PageHistory::appended(const Pages& added) {
    for (auto* states : {&undo_, &redo_}) {
        for (State& state : *states) {
            for (const auto& page : added) {
                if (!state.turns.contains(page->id())) {
                    state.pages << page;
                    state.turns.insert(page->id(), page->quarterTurns());
                }
            }
        }
    }
}

void PageHistory::clear() {
    drop(undo_);
    drop(redo_);
}

void PageHistory::drop(std::vector<State>& states) {
    for (const State& state : states) {
        dropped_ << state.pages;
    }
    states.clear();
}

QSet<QUuid> PageHistory::heldIds() const {
    QSet<QUuid> held;
    for (const auto* states : {&undo_, &redo_}) {
        for (const State& state : *states) {
            for (const auto& page : state.pages) {
                held.insert(page->id());
            }
        }
    }
    return held;
}

PageHistory::Pages PageHistory::takeReleased(const Pages& list) {
    QSet<QUuid> kept = heldIds();
    for (const auto& page : list) {
        kept.insert(page->id());
    }
    Pages released;
    for (const auto& page : std::as_const(dropped_)) {
        if (!kept.contains(page->id())) {
            kept.insert(page->id()); // once
            released << page;
        }
    }
    dropped_.clear();
    return released;
}
