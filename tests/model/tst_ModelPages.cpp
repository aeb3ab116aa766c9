// The view model's page list for real documents: several pages selected,
// moves, interleaving, undo and redo, blank pages and dropped files, with
// real image files in a fresh home folder per test.

#include "ModelFixture.h"
#include "PageIds.h"

#include <QFileInfo>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

class ModelPagesTest : public QObject, ModelFixture {
    Q_OBJECT

    QList<QUuid> ids() const { return pageIds(*model_); }
    QString order(const QList<QUuid>& original) const { return pageOrder(*model_, original); }
    QSet<QUuid> set(const QList<QUuid>& all, std::initializer_list<int> at) const {
        QSet<QUuid> result;
        for (const int i : at) {
            result.insert(all[i]);
        }
        return result;
    }
    QString cacheFile(int at) const { return model_->pages()[at]->cacheURL().toLocalFile(); }

private Q_SLOTS:
    void init() { QVERIFY(startCase()); }
    void cleanup() { endCase(); }

    void severalPagesSelected() {
        QVERIFY(importImages(5));
        const QList<QUuid> p = ids();
        QSignalSpy selection(model_.get(), &ScannerViewModel::selectedPageIDChanged);

        model_->setSelectedPages(set(p, {1, 3}), p[3]);
        QCOMPARE(model_->selectedPageID(), p[3]); // the current page, shown in the preview
        QCOMPARE(model_->selectedPageIDs(), set(p, {1, 3}));
        QCOMPARE(model_->selectedPage(), model_->pages()[3]);
        QCOMPARE(selection.count(), 1);
        // The current page always belongs to the selection.
        model_->setSelectedPages(set(p, {1}), p[4]);
        QCOMPARE(model_->selectedPageIDs(), set(p, {1, 4}));
        // Selecting one page selects it alone.
        model_->setSelectedPageID(p[2]);
        QCOMPARE(model_->selectedPageIDs(), set(p, {2}));
        model_->setSelectedPageID(std::nullopt);
        QVERIFY(model_->selectedPageIDs().isEmpty());

        // (How moves treat several pages is PageOrder's, tested there.)
        // Delete takes every selected page; the page after the first one
        // removed becomes selected alone.
        model_->setStatus(QStringLiteral("marker"));
        model_->setSelectedPages(set(p, {2, 4}), p[4]);
        model_->deleteSelection();
        QCOMPARE(order(p), QStringLiteral("0 1 3"));
        QCOMPARE(model_->selectedPageID(), p[3]);
        QCOMPARE(model_->selectedPageIDs(), set(p, {3}));
        QCOMPARE(model_->status(), QStringLiteral("3 page(s) ready."));
        model_->setSelectedPages(set(p, {3, 1}), p[1]);
        model_->deleteSelection();
        QCOMPARE(order(p), QStringLiteral("0"));
        QCOMPARE(model_->selectedPageID(), p[0]); // the new last page

        // Rotation turns every selected page.
        QVERIFY(importImages(2));
        const QList<QUuid> q = ids();
        model_->setSelectedPages(set(q, {0, 2}), q[0]);
        model_->rotateSelection(1);
        QCOMPARE(model_->pages()[0]->quarterTurns(), 1);
        QCOMPARE(model_->pages()[1]->quarterTurns(), 0);
        QCOMPARE(model_->pages()[2]->quarterTurns(), 1);
        QCOMPARE(model_->pages()[2]->pixelSize(), QSizeF(40, 31));
        QVERIFY(!model_->errorMessage());
    }

    void interleaveAndReverse() {
        // A two-sided stack of three sheets from a one-sided feeder: the
        // fronts 1 2 3, then the stack turned over: the backs 3 2 1.
        QVERIFY(importImages(6));
        const QList<QUuid> scanned = ids();
        const QList<QUuid> f{scanned[0], scanned[1], scanned[2]};
        const QList<QUuid> b{scanned[5], scanned[4], scanned[3]};
        model_->interleaveSelection(); // one page selected: the whole list
        QCOMPARE(ids(), (QList<QUuid>{f[0], b[0], f[1], b[1], f[2], b[2]}));
        QCOMPARE(model_->status(), QStringLiteral("Interleaved 6 page(s)."));
        QCOMPARE(model_->selectedPageID(), scanned[5]); // the selection stays

        model_->reverseSelection();
        QCOMPARE(ids(), (QList<QUuid>{b[2], f[2], b[1], f[1], b[0], f[0]}));
        QCOMPARE(model_->status(), QStringLiteral("Reversed the order of 6 page(s)."));

        // Only the selected pages, which stay selected.
        const QList<QUuid> p = ids();
        model_->setSelectedPages(set(p, {1, 2, 4, 5}), p[1]);
        model_->reverseSelection();
        QCOMPARE(order(p), QStringLiteral("0 5 4 3 2 1"));
        QCOMPARE(model_->selectedPageIDs(), set(p, {1, 2, 4, 5}));

        // An odd count refuses with a reason and changes nothing.
        model_->setSelectedPages(set(p, {0, 1, 2}), p[0]);
        const QList<QUuid> before = ids();
        QSignalSpy pagesChanged(model_.get(), &ScannerViewModel::pagesChanged);
        model_->interleaveSelection();
        QCOMPARE(ids(), before);
        QCOMPARE(pagesChanged.count(), 0);
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("Cannot interleave 3 page(s): that needs an even number, the "
                                "fronts in order followed by the backs in reverse order."));
        model_->setSelectedPageID(p[0]);
        QVERIFY(importImages(1));
        model_->interleaveSelection(); // the whole list: 7 pages
        QCOMPARE(model_->errorMessage()->left(26), QStringLiteral("Cannot interleave 7 page(s"));
    }

    void undoAndRedo() {
        QVERIFY(importImages(4));
        const QList<QUuid> p = ids();
        const QString third = cacheFile(2);
        QVERIFY(!model_->canUndo() && !model_->canRedo()); // adding is not a step
        QSignalSpy history(model_.get(), &ScannerViewModel::historyChanged);

        // Delete, move, rotate, drag, interleave: each one step.
        model_->setSelectedPageID(p[2]);
        model_->deleteSelection();
        model_->setSelectedPageID(p[3]);
        model_->moveSelection(-1);
        model_->setSelectedPages(set(p, {0, 1}), p[0]);
        model_->rotateSelection(2);
        model_->movePages(set(p, {0, 1}), 3); // dragged to the end
        QCOMPARE(order(p), QStringLiteral("3 0 1"));
        model_->interleaveSelection(); // the two selected: already in order
        QVERIFY(model_->canUndo());
        QVERIFY(history.count() >= 4);
        QVERIFY(QFile::exists(third)); // kept for undo

        // Back step by step, selection and rotation included.
        model_->undo();
        QCOMPARE(order(p), QStringLiteral("0 3 1"));
        QCOMPARE(model_->selectedPageIDs(), set(p, {0, 1}));
        QCOMPARE(model_->status(), QStringLiteral("Undone. 3 page(s) ready."));
        model_->undo();
        QCOMPARE(model_->pages()[0]->quarterTurns(), 0);
        QCOMPARE(model_->pages()[1]->quarterTurns(), 0);
        QCOMPARE(model_->pages()[0]->pixelSize(), QSizeF(30, 40));
        model_->undo();
        QCOMPARE(order(p), QStringLiteral("0 1 3"));
        QCOMPARE(model_->selectedPageID(), p[3]);
        model_->undo();
        QCOMPARE(ids(), p); // the deleted page is back, with its file
        QCOMPARE(model_->selectedPageID(), p[2]);
        QVERIFY(QFile::exists(third));
        QVERIFY(!model_->canUndo());
        model_->undo(); // nothing left: nothing happens
        QCOMPARE(ids(), p);

        // Forth again.
        model_->redo();
        model_->redo();
        model_->redo();
        QCOMPARE(model_->pages()[0]->quarterTurns(), 2);
        QCOMPARE(model_->status(), QStringLiteral("Redone. 3 page(s) ready."));
        model_->redo();
        QCOMPARE(order(p), QStringLiteral("3 0 1"));
        QVERIFY(!model_->canRedo());

        // A new change after an undo ends the way forward; the pages only
        // the dropped steps held lose their files.
        model_->undo();
        model_->undo();
        model_->undo();
        model_->undo(); // page 2 back
        model_->setSelectedPageID(p[0]);
        model_->moveSelection(1);
        QVERIFY(!model_->canRedo());
        QVERIFY(QFile::exists(third)); // still listed

        // Pages added meanwhile stay through undo and redo.
        model_->setSelectedPageID(p[1]);
        model_->deleteSelection();
        QVERIFY(importImages(1));
        const QUuid added = ids().last();
        model_->undo();
        QVERIFY(ids().contains(p[1]) && ids().contains(added));
        model_->redo();
        QVERIFY(!ids().contains(p[1]) && ids().contains(added));
    }

    void undoAfterSaveAndClear() {
        model_->editSettings([this](AppSettings& s) {
            s.saveFolder = home_->filePath(QStringLiteral("out"));
            s.format = OutputFormat::png;
            s.openAfterSave = false;
            s.clearPagesAfterSave = true;
        });
        QVERIFY(importImages(2));
        const QList<QUuid> p = ids();
        model_->setSelectedPageID(p[0]);
        model_->rotateSelection(1);
        model_->setFileName(QStringLiteral("doc"));
        model_->save(); // saves, then clears the list
        QVERIFY(model_->pages().isEmpty());
        const QStringList saved =
            QDir(home_->filePath(QStringLiteral("out"))).entryList(QDir::Files);
        QCOMPARE(saved, QStringList({"doc_01.png", "doc_02.png"}));
        const QByteArray first = readFile(home_->filePath(QStringLiteral("out/doc_01.png")));

        // The clear and the rotation before the save can both be undone; the
        // saved files stay exactly as written.
        model_->undo();
        QCOMPARE(ids(), p);
        model_->undo();
        QCOMPARE(model_->pages()[0]->quarterTurns(), 0);
        QCOMPARE(QDir(home_->filePath(QStringLiteral("out"))).entryList(QDir::Files), saved);
        QCOMPARE(readFile(home_->filePath(QStringLiteral("out/doc_01.png"))), first);

        // A save without clearing leaves the history alone.
        model_->editSettings([](AppSettings& s) { s.clearPagesAfterSave = false; });
        model_->save();
        QVERIFY(model_->canRedo());
        model_->redo();
        QCOMPARE(model_->pages()[0]->quarterTurns(), 1);

        // "Clear all" with its question, then undo.
        model_->clearPages(true);
        QVERIFY(model_->pages().isEmpty());
        model_->undo();
        QCOMPARE(ids(), p);

        // The session's end removes every cache file, those of the history too.
        QStringList files;
        for (const auto& page : model_->pages()) {
            files << page->cacheURL().toLocalFile();
        }
        model_->setSelectedPageID(p[1]);
        model_->deleteSelection();
        model_->cleanUp();
        for (const QString& file : files) {
            QVERIFY(!QFile::exists(file));
        }
        QVERIFY(!model_->canUndo() && !model_->canRedo());
    }

    void undoWhenTheCacheFileIsGone() {
        QVERIFY(importImages(3));
        const QList<QUuid> p = ids();
        const QString second = cacheFile(1);
        model_->setSelectedPageID(p[1]);
        model_->deleteSelection();
        QVERIFY(QFile::remove(second)); // from outside

        model_->undo();
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("The change could not be undone. Could not read the image at ") +
                     QFileInfo(second).fileName() + u'.');
        QCOMPARE(order(p), QStringLiteral("0 2")); // nothing changed
        QVERIFY(model_->canUndo());                // the history is as it was
        QVERIFY(!model_->canRedo());

        // A rotation to undo on a page whose file went missing: the same.
        model_->setErrorMessage(std::nullopt);
        model_->setSelectedPages(set(p, {0, 2}), p[0]);
        model_->rotateSelection(1);
        QVERIFY(QFile::remove(model_->pages()[1]->cacheURL().toLocalFile()));
        model_->undo();
        QVERIFY(model_->errorMessage()->startsWith("The change could not be undone. Could not "));
        // The page whose file is still there was turned back and forth again.
        QCOMPARE(model_->pages()[0]->quarterTurns(), 1);
        QCOMPARE(model_->pages()[0]->pixelSize(), QSizeF(40, 30));
        QVERIFY(model_->canUndo());
    }

    void selectBlankPages() {
        const auto write = [this](const QString& name, bool text) {
            QImage page(850, 1100, QImage::Format_Grayscale8); // A4-ish at 100 dpi
            page.fill(250);
            page.setDotsPerMeterX(3937);
            page.setDotsPerMeterY(3937);
            if (text) {
                QPainter painter(&page);
                painter.fillRect(QRect(150, 200, 400, 4), Qt::black); // a rule
                painter.fillRect(QRect(150, 230, 300, 4), Qt::black);
            }
            const QString path = home_->filePath(QStringLiteral("in/") + name);
            return page.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
        };
        desktop_->imageFilesAnswer = {write("text.png", true), write("blank1.png", false),
                                      write("text2.png", true), write("blank2.png", false)};
        model_->importFiles();
        const QList<QUuid> p = ids();
        QCOMPARE(p.size(), 4);
        QVERIFY(!model_->pages()[0]->looksBlank() && model_->pages()[1]->looksBlank());

        model_->selectBlankPages();
        QCOMPARE(model_->selectedPageIDs(), set(p, {1, 3}));
        QCOMPARE(model_->selectedPageID(), p[1]);
        QCOMPARE(model_->status(),
                 QStringLiteral("2 page(s) look blank. Check them, then delete the ones to go."));
        QCOMPARE(ids(), p); // nothing removed

        model_->deleteSelection();
        model_->selectBlankPages();
        QCOMPARE(model_->status(), QStringLiteral("No page looks blank."));
        QCOMPARE(model_->selectedPageIDs(), set(p, {2})); // unchanged
    }

    void droppedFilesArriveInOrder() {
        QVERIFY(importImages(1));
        QStringList statuses;
        connect(model_.get(), &ScannerViewModel::statusChanged, this,
                [&] { statuses << model_->status(); });
        // A folder of images, an unreadable file, a web address and more.
        const QString folder = home_->filePath(QStringLiteral("drop"));
        QVERIFY(QDir().mkpath(folder));
        QList<QUrl> files;
        for (int i = 0; i < 500; ++i) {
            QImage image(8 + i % 7, 8, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            const QString path = QStringLiteral("%1/p%2.png").arg(folder).arg(i);
            QVERIFY(image.save(path, "png"));
        }
        const QUrl broken = writeFile(home_->filePath(QStringLiteral("in/broken.png")), "nope");
        const QUrl single = writePngs(*home_, 10, 1).first();
        model_->addDroppedFiles({QUrl::fromLocalFile(folder), broken,
                                 QUrl(QStringLiteral("https://example.org/x.png")), single});
        QVERIFY(model_->importing());
        QTRY_VERIFY_WITH_TIMEOUT(!model_->importing(), 300000);

        QCOMPARE(model_->pages().size(), 1 + 500 + 1);
        QCOMPARE(model_->pages()[2]->pixelSize().width(), 9.0);  // p1 after p0,
        QCOMPARE(model_->pages()[3]->pixelSize().width(), 10.0); // p2 before p10
        QCOMPARE(model_->pages().last()->pixelSize().width(), 30.0);
        QCOMPARE(model_->selectedPageID(), model_->pages().last()->id());
        QCOMPARE(model_->errorMessage(), QStringLiteral("Could not read the image at broken.png."));
        QCOMPARE(model_->status(), QStringLiteral("502 page(s) ready."));
        QCOMPARE(statuses.first(), QStringLiteral("Adding image file 1 of 502..."));
        QVERIFY(statuses.contains(QStringLiteral("Adding image file 250 of 502...")));
        QVERIFY(!model_->canUndo()); // adding is not a step

        // Nothing usable dropped: nothing happens.
        statuses.clear();
        model_->addDroppedFiles({QUrl(QStringLiteral("https://example.org/x.png"))});
        QVERIFY(!model_->importing());
        QVERIFY(statuses.isEmpty());

        // The session's end stops an import; nothing is left behind.
        model_->addDroppedFiles({QUrl::fromLocalFile(folder)});
        model_->cleanUp();
        QVERIFY(!QFileInfo::exists(model_->sessionFolder().toLocalFile()));
    }
};

QTEST_GUILESS_MAIN(ModelPagesTest)
#include "tst_ModelPages.moc"
