#pragma once

#include "model/PageHistory.h"
#include "model/PageList.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

// The document being put together: the ordered pages, the selection, the
// undo and redo history, and which pages the latest save holds as they are
// now (what "unsaved" means). Nobody else writes the page list.
//
// Pages arrive through add() (PageImporter is the one caller); every other
// change is a user's arrangement and one step of the history. Outcomes are
// reported, never shown: statusReported() for the status line, failed() for
// an alert. Signals follow each change in this order: historyChanged(), then
// pagesChanged(), then selectionChanged(), then any report. Used on the GUI
// thread only.
//
// Cache files: a page leaves the list without losing its file while the
// history can bring it back; the file is discarded once no step holds the
// page, and at discardAll().
class PageDocument : public QObject {
    Q_OBJECT

public:
    using Pages = PageList::Pages;

    explicit PageDocument(QObject* parent = nullptr);
    ~PageDocument() override;

    PageDocument(const PageDocument&) = delete;
    PageDocument& operator=(const PageDocument&) = delete;

    // The list itself, for those that follow its changes (PageList::changed).
    const PageList& list() const { return list_; }
    const Pages& pages() const { return list_.pages(); }
    bool isEmpty() const { return list_.isEmpty(); }
    qsizetype size() const { return list_.size(); }

    const std::optional<QUuid>& selectedID() const { return list_.selectedID(); }
    const QSet<QUuid>& selectedIDs() const { return list_.selectedIDs(); }
    std::shared_ptr<ScannedPage> selectedPage() const { return list_.selectedPage(); }
    // Any id, also one no page has; selects it alone.
    void setSelectedID(std::optional<QUuid> id);
    void setSelection(QSet<QUuid> ids, std::optional<QUuid> current);

    // Appends pages that arrived (no step of the history: undo and redo keep
    // them), selecting the last one when `select` is set. False when there
    // was nothing to add.
    bool add(const Pages& pages, bool select);

    // A page object changed inside (turned by someone else): views redraw.
    void pagesAltered();

    // The user's arrangements (see PageList and PageOrder for the rules).
    // Delete and clear report "N page(s) ready." and "Pages cleared.";
    // interleave, reverse and the blank-page selection report what they did.
    void moveSelection(int offset);
    void deleteSelection();
    // Removes every page (nothing happens to an empty list); undo brings
    // them back.
    void clear();
    void rotateSelection(int quarterTurns);
    // Turns each page named by id by its quarter turns clockwise, as one
    // step; pages no longer listed are skipped. The number turned; the first
    // failure stops it and is reported (pages turned before it stay).
    int turnPages(const QHash<QUuid, int>& turns);
    // Puts each new page in the place of the listed page whose id names it,
    // as one step (the pixels edited: straightened, cropped); the selection
    // follows. The history keeps the old pages, so undo gives them back.
    // Returns the number replaced; a new page not used is the caller's.
    int replacePages(const QHash<QUuid, std::shared_ptr<ScannedPage>>& replacements);
    void movePages(const QSet<QUuid>& ids, int row);
    void interleaveSelection();
    void reverseSelection();
    void selectBlankPages();

    // A failure (a page's cache file gone) changes nothing and is reported.
    void undo();
    void redo();
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }

    // The pages now in the list are what the latest save wrote.
    void markSaved();
    // Pages not part of the latest save of them, or turned since.
    int unsavedPageCount() const;

    // Ends the history and deletes the cache file of every page, listed or
    // not. The list keeps naming its pages.
    void discardAll();

    // "N page(s) ready." for the list as it is.
    QString readyText() const;

Q_SIGNALS:
    void pagesChanged();
    void selectionChanged();
    // canUndo() or canRedo() may have changed.
    void historyChanged();
    void statusReported(const QString& status);
    void failed(const QString& message);

private:
    // Runs a change as one step undo can take back; `change` returns
    // whether it changed anything.
    template <typename Change> bool undoable(Change&& change);
    void publishPages();
    void stepHistory(bool back);
    std::optional<QString> restore(const PageHistory::State& state);
    // The selected pages when there are several, else the whole list.
    QSet<QUuid> pagesToArrange() const;

    PageList list_;
    PageHistory history_;
    // Page id -> the page's revision when it was last saved.
    QHash<QUuid, int> savedRevisions_;
};
