// The document on its own: moving, deleting, clearing, several pages
// selected, interleaving, undo and redo, blank pages and what is unsaved,
// over real page files in a fresh home folder per test.

#include "PageIds.h"

#include "model/PageDocument.h"

#include <QFileInfo>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

class tst_PageDocument : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;
    std::unique_ptr<PageDocument> doc_;
    QStringList statuses_;
    QStringList failures_;
    qsizetype made_ = 0;

    QList<QUuid> ids() const { return pageIds(doc_->pages()); }
    QString order(const QList<QUuid>& original) const { return pageOrder(doc_->pages(), original); }
    QSet<QUuid> set(const QList<QUuid>& all, std::initializer_list<int> at) const {
        QSet<QUuid> result;
        for (const int i : at) {
            result.insert(all[i]);
        }
        return result;
    }
    QString cacheFile(int at) const { return doc_->pages()[at]->cacheURL().toLocalFile(); }
    QString status() const { return statuses_.value(statuses_.size() - 1); }
    QString failure() const { return failures_.value(failures_.size() - 1); }

    // Adds `count` pages, 30 + i pixels wide, as an import does.
    [[nodiscard]] bool add(int count) {
        const auto pages = makePages(*home_, made_, count);
        made_ += count;
        return pages.size() == count && doc_->add(pages, true);
    }

private Q_SLOTS:
    void init() {
        home_.emplace();
        QVERIFY(home_->isValid());
        doc_ = std::make_unique<PageDocument>();
        statuses_.clear();
        failures_.clear();
        connect(doc_.get(), &PageDocument::statusReported, this,
                [this](const QString& text) { statuses_ << text; });
        connect(doc_.get(), &PageDocument::failed, this,
                [this](const QString& text) { failures_ << text; });
    }
    void cleanup() {
        doc_.reset();
        home_.reset();
    }

    void moveDeleteAndClear() {
        QVERIFY(add(4));
        const QList<QUuid> p = ids();
        const QStringList files{cacheFile(0), cacheFile(1), cacheFile(2), cacheFile(3)};

        // Beyond either end, or with no or a stale selection, or no real
        // page to add: nothing happens.
        QSignalSpy pagesChanged(doc_.get(), &PageDocument::pagesChanged);
        QVERIFY(!doc_->add({}, true) && !doc_->add({nullptr}, true));
        doc_->setSelectedID(p[0]);
        doc_->moveSelection(-1);
        doc_->setSelectedID(p[3]);
        doc_->moveSelection(1);
        doc_->setSelectedID(QUuid::createUuid());
        doc_->moveSelection(-1);
        doc_->deleteSelection();
        doc_->setSelectedID(std::nullopt);
        doc_->deleteSelection();
        QCOMPARE(pagesChanged.count(), 0);
        QVERIFY(statuses_.isEmpty());
        QVERIFY(!doc_->canUndo()); // adding is not a step

        // The moved page stays selected; nothing is reported.
        doc_->setSelectedID(p[3]);
        doc_->moveSelection(-1);
        doc_->moveSelection(-1);
        QCOMPARE(order(p), QStringLiteral("0 3 1 2"));
        QCOMPARE(doc_->selectedID(), p[3]);
        QVERIFY(statuses_.isEmpty());

        // Delete the last page: the one before it is selected; a middle one:
        // the one that followed; the only one: nothing. Files stay for undo.
        doc_->setSelectedID(p[2]);
        doc_->deleteSelection();
        QCOMPARE(doc_->selectedID(), p[1]);
        QCOMPARE(status(), QStringLiteral("3 page(s) ready."));
        doc_->setSelectedID(p[3]);
        doc_->deleteSelection();
        QCOMPARE(doc_->selectedID(), p[1]);
        doc_->setSelectedID(p[0]);
        doc_->deleteSelection();
        QCOMPARE(doc_->selectedID(), p[1]);
        doc_->deleteSelection();
        QCOMPARE(doc_->selectedID(), std::nullopt);
        QCOMPARE(status(), QStringLiteral("0 page(s) ready."));
        for (const QString& file : files) {
            QVERIFY(QFile::exists(file));
        }

        // Clearing: an empty list is left alone; pages come back with undo.
        statuses_.clear();
        doc_->clear();
        QVERIFY(statuses_.isEmpty());
        QVERIFY(add(2));
        doc_->clear();
        QVERIFY(doc_->isEmpty());
        QCOMPARE(doc_->selectedID(), std::nullopt);
        QCOMPARE(status(), QStringLiteral("Pages cleared."));
        doc_->undo();
        QCOMPARE(doc_->size(), 2);
    }

    void severalPagesSelected() {
        QVERIFY(add(5));
        const QList<QUuid> p = ids();
        QSignalSpy selection(doc_.get(), &PageDocument::selectionChanged);

        doc_->setSelection(set(p, {1, 3}), p[3]);
        QCOMPARE(doc_->selectedID(), p[3]); // the current page, shown in the preview
        QCOMPARE(doc_->selectedIDs(), set(p, {1, 3}));
        QCOMPARE(doc_->selectedPage(), doc_->pages()[3]);
        QCOMPARE(selection.count(), 1);
        // The current page always belongs to the selection.
        doc_->setSelection(set(p, {1}), p[4]);
        QCOMPARE(doc_->selectedIDs(), set(p, {1, 4}));
        // Selecting one page selects it alone.
        doc_->setSelectedID(p[2]);
        QCOMPARE(doc_->selectedIDs(), set(p, {2}));

        // (How moves treat several pages is PageOrder's, tested there.)
        // Delete takes every selected page; the page after the first one
        // removed becomes selected alone.
        doc_->setSelection(set(p, {2, 4}), p[4]);
        doc_->deleteSelection();
        QCOMPARE(order(p), QStringLiteral("0 1 3"));
        QCOMPARE(doc_->selectedIDs(), set(p, {3}));
        doc_->setSelection(set(p, {3, 1}), p[1]);
        doc_->deleteSelection();
        QCOMPARE(order(p), QStringLiteral("0"));
        QCOMPARE(doc_->selectedID(), p[0]); // the new last page

        // Rotation turns every selected page.
        QVERIFY(add(2));
        const QList<QUuid> q = ids();
        doc_->setSelection(set(q, {0, 2}), q[0]);
        doc_->rotateSelection(1);
        QCOMPARE(doc_->pages()[0]->quarterTurns(), 1);
        QCOMPARE(doc_->pages()[1]->quarterTurns(), 0);
        QCOMPARE(doc_->pages()[2]->pixelSize(), QSizeF(40, 31));
        QVERIFY(failures_.isEmpty());
    }

    void interleaveAndReverse() {
        // A two-sided stack of three sheets from a one-sided feeder: the
        // fronts 1 2 3, then the stack turned over: the backs 3 2 1.
        QVERIFY(add(6));
        const QList<QUuid> scanned = ids();
        const QList<QUuid> f{scanned[0], scanned[1], scanned[2]};
        const QList<QUuid> b{scanned[5], scanned[4], scanned[3]};
        doc_->interleaveSelection(); // one page selected: the whole list
        QCOMPARE(ids(), (QList<QUuid>{f[0], b[0], f[1], b[1], f[2], b[2]}));
        QCOMPARE(status(), QStringLiteral("Interleaved 6 page(s)."));
        QCOMPARE(doc_->selectedID(), scanned[5]); // the selection stays

        doc_->reverseSelection();
        QCOMPARE(ids(), (QList<QUuid>{b[2], f[2], b[1], f[1], b[0], f[0]}));
        QCOMPARE(status(), QStringLiteral("Reversed the order of 6 page(s)."));

        // Only the selected pages, which stay selected.
        const QList<QUuid> p = ids();
        doc_->setSelection(set(p, {1, 2, 4, 5}), p[1]);
        doc_->reverseSelection();
        QCOMPARE(order(p), QStringLiteral("0 5 4 3 2 1"));
        QCOMPARE(doc_->selectedIDs(), set(p, {1, 2, 4, 5}));

        // An odd count refuses with a reason and changes nothing.
        doc_->setSelection(set(p, {0, 1, 2}), p[0]);
        const QList<QUuid> before = ids();
        QSignalSpy pagesChanged(doc_.get(), &PageDocument::pagesChanged);
        doc_->interleaveSelection();
        QCOMPARE(ids(), before);
        QCOMPARE(pagesChanged.count(), 0);
        QCOMPARE(failure(),
                 QStringLiteral("Cannot interleave 3 page(s): that needs an even number, the "
                                "fronts in order followed by the backs in reverse order."));
    }

    void undoAndRedo() {
        QVERIFY(add(4));
        const QList<QUuid> p = ids();
        const QString third = cacheFile(2);
        QSignalSpy history(doc_.get(), &PageDocument::historyChanged);

        // Delete, move, rotate, drag, interleave: each one step.
        doc_->setSelectedID(p[2]);
        doc_->deleteSelection();
        doc_->setSelectedID(p[3]);
        doc_->moveSelection(-1);
        doc_->setSelection(set(p, {0, 1}), p[0]);
        doc_->rotateSelection(2);
        doc_->movePages(set(p, {0, 1}), 3); // dragged to the end
        QCOMPARE(order(p), QStringLiteral("3 0 1"));
        doc_->interleaveSelection(); // the two selected: already in order
        QVERIFY(history.count() >= 4);

        // Back step by step, selection and rotation included.
        doc_->undo();
        QCOMPARE(order(p), QStringLiteral("0 3 1"));
        QCOMPARE(doc_->selectedIDs(), set(p, {0, 1}));
        QCOMPARE(status(), QStringLiteral("Undone. 3 page(s) ready."));
        doc_->undo();
        QCOMPARE(doc_->pages()[0]->quarterTurns(), 0);
        QCOMPARE(doc_->pages()[0]->pixelSize(), QSizeF(30, 40));
        doc_->undo();
        QCOMPARE(order(p), QStringLiteral("0 1 3"));
        doc_->undo();
        QCOMPARE(ids(), p); // the deleted page is back, with its file
        QCOMPARE(doc_->selectedID(), p[2]);
        QVERIFY(QFile::exists(third));
        QVERIFY(!doc_->canUndo());
        doc_->undo(); // nothing left: nothing happens
        QCOMPARE(ids(), p);

        // Forth again.
        doc_->redo();
        doc_->redo();
        doc_->redo();
        QCOMPARE(doc_->pages()[0]->quarterTurns(), 2);
        QCOMPARE(status(), QStringLiteral("Redone. 3 page(s) ready."));
        doc_->redo();
        QCOMPARE(order(p), QStringLiteral("3 0 1"));
        QVERIFY(!doc_->canRedo());

        // A new change after an undo ends the way forward.
        for (int i = 0; i < 4; ++i) {
            doc_->undo();
        }
        doc_->setSelectedID(p[0]);
        doc_->moveSelection(1);
        QVERIFY(!doc_->canRedo());
        QVERIFY(QFile::exists(third)); // still listed

        // Pages added meanwhile stay through undo and redo.
        doc_->setSelectedID(p[1]);
        doc_->deleteSelection();
        QVERIFY(add(1));
        const QUuid added = ids().last();
        doc_->undo();
        QVERIFY(ids().contains(p[1]) && ids().contains(added));
        doc_->redo();
        QVERIFY(!ids().contains(p[1]) && ids().contains(added));

        // The end discards every cache file, those only the history holds too.
        QStringList files{third};
        for (const auto& page : doc_->pages()) {
            files << page->cacheURL().toLocalFile();
        }
        doc_->discardAll();
        for (const QString& file : files) {
            QVERIFY(!QFile::exists(file));
        }
        QVERIFY(!doc_->canUndo() && !doc_->canRedo());
    }

    void undoWhenTheCacheFileIsGone() {
        QVERIFY(add(3));
        const QList<QUuid> p = ids();
        const QString second = cacheFile(1);
        doc_->setSelectedID(p[1]);
        doc_->deleteSelection();
        QVERIFY(QFile::remove(second)); // from outside

        doc_->undo();
        QCOMPARE(failure(),
                 QStringLiteral("The change could not be undone. Could not read the image at ") +
                     QFileInfo(second).fileName() + u'.');
        QCOMPARE(order(p), QStringLiteral("0 2")); // nothing changed
        QVERIFY(doc_->canUndo());                  // the history is as it was

        // A rotation to undo on a page whose file went missing: the same,
        // and the page whose file is still there is turned back and forth.
        failures_.clear();
        doc_->setSelection(set(p, {0, 2}), p[0]);
        doc_->rotateSelection(1);
        QVERIFY(QFile::remove(doc_->pages()[1]->cacheURL().toLocalFile()));
        doc_->undo();
        QVERIFY(failure().startsWith("The change could not be undone. Could not "));
        QCOMPARE(doc_->pages()[0]->quarterTurns(), 1);
        QCOMPARE(doc_->pages()[0]->pixelSize(), QSizeF(40, 30));
        QVERIFY(doc_->canUndo());
    }

    void blankPagesAndUnsavedPages() {
        const auto write = [this](const QString& name, bool text) {
            QImage page(850, 1100, QImage::Format_Grayscale8); // A4-ish at 100 dpi
            page.fill(250);
            if (text) {
                QPainter painter(&page);
                painter.fillRect(QRect(150, 200, 400, 4), Qt::black); // a rule
                painter.fillRect(QRect(150, 230, 300, 4), Qt::black);
            }
            const QString path = home_->filePath(QStringLiteral("in/") + name);
            return ScannedPage::make(page.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl(),
                                     QUrl::fromLocalFile(home_->filePath("cache")), 100, false)
                .value();
        };
        QVERIFY(doc_->add({write("text.png", true), write("blank1.png", false),
                           write("text2.png", true), write("blank2.png", false)},
                          true));
        const QList<QUuid> p = ids();
        doc_->selectBlankPages();
        QCOMPARE(doc_->selectedIDs(), set(p, {1, 3}));
        QCOMPARE(doc_->selectedID(), p[1]);
        QCOMPARE(status(),
                 QStringLiteral("2 page(s) look blank. Check them, then delete the ones to go."));
        QCOMPARE(ids(), p); // nothing removed
        doc_->deleteSelection();
        doc_->selectBlankPages();
        QCOMPARE(status(), QStringLiteral("No page looks blank."));
        QCOMPARE(doc_->selectedIDs(), set(p, {2})); // unchanged

        // Unsaved: every page until saved; a page turned since counts again.
        QCOMPARE(doc_->unsavedPageCount(), 2);
        doc_->markSaved();
        doc_->moveSelection(-1); // the order does not count
        QCOMPARE(doc_->unsavedPageCount(), 0);
        doc_->rotateSelection(1);
        QCOMPARE(doc_->unsavedPageCount(), 1);
        QVERIFY(add(1));
        QCOMPARE(doc_->unsavedPageCount(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_PageDocument)
#include "tst_PageDocument.moc"
