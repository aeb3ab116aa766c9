// The pages panel with real mouse, key, drag and drop events: several pages
// selected, shortcuts, reordering by drag, files dropped on the window, the
// "Blank?" mark.
#include "../../model/PageIds.h"
#include "MainWindowFixture.h"

#include "ui/main/CropFrame.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PageRowDelegate.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QtTest>

namespace {

struct Fixture : MainWindowFixture {
    PageListPanel* panel = view->pageList();
    PageListView* list = panel->list();

    // Blank paper, or paper with two printed rules.
    static QImage paper(bool blank = false) {
        QImage page(425, 550, QImage::Format_Grayscale8); // A4-ish at 50 dpi
        page.fill(250);
        page.setDotsPerMeterX(1969);
        page.setDotsPerMeterY(1969);
        if (!blank) {
            QPainter painter(&page);
            painter.fillRect(QRect(80, 100, 200, 3), Qt::black);
            painter.fillRect(QRect(80, 115, 150, 3), Qt::black);
        }
        return page;
    }
    QUrl image(const QString& name, bool blank = false) const {
        const QString path = home.filePath(QStringLiteral("in/") + name);
        return paper(blank).save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
    }
    void addPages(int count) { MainWindowFixture::addPages(QList<QImage>(count, paper())); }

    QList<QUuid> ids() const { return pageIds(model->pages()); }
    QString order(const QList<QUuid>& original) const {
        return pageOrder(model->pages(), original);
    }
    QList<int> selectedRows() const {
        QList<int> rows;
        for (const QModelIndex& index : list->selectionModel()->selectedIndexes()) {
            rows << index.row();
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    QPoint centreOf(int row) const {
        return list->visualRect(list->model()->index(row, 0)).center();
    }
    void click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, centreOf(row));
    }
};

// Sends a drag over `target` at `position` and, with `drop`, drops it there.
// Returns whether the target took the drag.
bool dragOver(QWidget* target, const QPoint& position, const QMimeData* data, bool drop) {
    const auto accepted = [target](auto&& event) {
        event.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    return accepted(QDragEnterEvent(position, actions, data, Qt::LeftButton, Qt::NoModifier)) &&
           accepted(QDragMoveEvent(position, actions, data, Qt::LeftButton, Qt::NoModifier)) &&
           (!drop || accepted(QDropEvent(position, actions, data, Qt::LeftButton, {})));
}

} // namespace

class PageListPanelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    void mouseAndKeysSelectSeveralPages() {
        Fixture f;
        QVERIFY(f.showActive());
        f.addPages(5);
        const QList<QUuid> p = f.ids();

        f.click(0);
        QCOMPARE(f.model->selectedPageIDs(), QSet<QUuid>{p[0]});
        f.click(2, Qt::ShiftModifier);
        QCOMPARE(f.model->selectedPageIDs(), (QSet<QUuid>{p[0], p[1], p[2]}));
        QCOMPARE(f.model->selectedPageID(), p[2]); // the current row is shown
        f.click(4, Qt::ControlModifier);
        QCOMPARE(f.model->selectedPageIDs().size(), 4);
        QCOMPARE(f.model->selectedPageID(), p[4]);
        f.click(1, Qt::ControlModifier); // off again
        QCOMPARE(f.model->selectedPageIDs(), (QSet<QUuid>{p[0], p[2], p[4]}));

        // A plain click selects one page alone again; Shift+Down extends.
        f.click(1);
        QCOMPARE(f.model->selectedPageIDs(), QSet<QUuid>{p[1]});
        QTest::keyClick(f.list, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(f.model->selectedPageIDs(), (QSet<QUuid>{p[1], p[2]}));
        QCOMPARE(f.model->selectedPageID(), p[2]);

        // Alt+Up moves them; Alt+Down back.
        QTest::keyClick(f.list, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(f.order(p), QStringLiteral("1 2 0 3 4"));
        QCOMPARE(f.selectedRows(), (QList<int>{0, 1})); // the list follows
        // Rows are numbered by place, not by page.
        QCOMPARE(f.list->model()->index(0, 0).data(PageListModel::IdRole).toUuid(), p[1]);
        QCOMPARE(f.rowTitles(), (QStringList{"Page 1", "Page 2", "Page 3", "Page 4", "Page 5"}));
        QTest::keyClick(f.list, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(f.order(p), QStringLiteral("0 1 2 3 4"));

        // The Delete key deletes the selection; Ctrl+Z brings it back,
        // Ctrl+Shift+Z deletes again.
        QTest::keyClick(f.list, Qt::Key_Delete);
        QCOMPARE(f.order(p), QStringLiteral("0 3 4"));
        QCOMPARE(f.model->status(), QStringLiteral("3 page(s) ready."));
        QTest::keyClick(f.list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.order(p), QStringLiteral("0 1 2 3 4"));
        QCOMPARE(f.selectedRows(), (QList<int>{1, 2}));
        QTest::keyClick(f.list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.order(p), QStringLiteral("0 3 4"));

        // Ctrl+A selects every page; rotate them with the menu's shortcut.
        QTest::keyClick(f.list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(f.model->selectedPageIDs().size(), 3);
        QTest::keyClick(f.list, Qt::Key_R, Qt::ControlModifier);
        for (const auto& page : f.model->pages()) {
            QCOMPARE(page->quarterTurns(), 1);
        }
        // Undo works from the window, not only the list; a text field with
        // the focus keeps Ctrl+Z for itself.
        QLineEdit* name = f.view->saveCard()->findChild<QLineEdit*>();
        QVERIFY(name != nullptr);
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("x"));
        QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.model->pages()[0]->quarterTurns(), 1);
        f.view->preview()->setFocus();
        QTest::keyClick(f.view->preview(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.model->pages()[0]->quarterTurns(), 0);
    }

    void menuActionsAndTheirShortcuts() {
        Fixture f;
        f.addPages(2);
        QStringList texts;
        QSet<QKeySequence> seen;
        for (QAction* action : f.panel->contextMenu()->actions()) {
            texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
            if (action->isSeparator()) {
                continue;
            }
            QVERIFY2(!action->shortcut().isEmpty(), qPrintable(action->text()));
            QVERIFY(action->isShortcutVisibleInContextMenu());
            QVERIFY2(!seen.contains(action->shortcut()), qPrintable(action->text()));
            seen.insert(action->shortcut());
        }
        QCOMPARE(texts, (QStringList{"Rotate left", "Rotate right", "Rotate 180°", "Straighten",
                                     "Turn upright", "Crop", "---", "Move up", "Move down", "---",
                                     "Delete page", "---", "Interleave front and back pages",
                                     "Reverse order", "Select blank pages", "Select all", "---",
                                     "Undo", "Redo"}));
        // Undo and redo are offered only when there is something to do.
        QVERIFY(!f.panel->action(QStringLiteral("Undo"))->isEnabled());
        f.model->deleteSelection();
        QVERIFY(f.panel->action(QStringLiteral("Undo"))->isEnabled());
        QVERIFY(!f.panel->action(QStringLiteral("Redo"))->isEnabled());
    }

    // Ctrl+K lays the crop frame over the preview, at the print; Escape
    // leaves it; the keys and the mouse move its edges; Return crops.
    void cropByKeyboardAndMouse() {
        Fixture f;
        QVERIFY(f.showActive());
        f.addPages(1);
        PreviewPane* preview = f.view->preview();
        QTRY_COMPARE(preview->state(), PreviewPane::State::Picture);
        const auto page = f.model->pages().front();
        f.list->setFocus();
        QTest::keyClick(f.list, Qt::Key_K, Qt::ControlModifier);
        QVERIFY(preview->cropFrame() != nullptr);
        QTRY_VERIFY(preview->cropFrame()->hasFocus());
        QTest::keyClick(preview->cropFrame(), Qt::Key_Escape);
        QVERIFY(preview->cropFrame() == nullptr);
        QCOMPARE(f.model->pages().front(), page);

        QSignalSpy found(f.model.get(), &ScannerViewModel::cropFrameFound);
        f.list->setFocus();
        QTest::keyClick(f.list, Qt::Key_K, Qt::ControlModifier);
        CropFrame* frame = preview->cropFrame();
        QVERIFY(frame != nullptr);
        QVERIFY(found.wait(30000));
        const QRect start = frame->frame();
        // The two rules with a margin round them, well inside the page.
        QVERIFY(start.contains(QRect(80, 100, 200, 18)));
        QVERIFY(start.width() < 425 / 2 + 60 && start.height() < 550 / 4);

        QTest::keyClick(frame, Qt::Key_Tab); // the top edge
        QCOMPARE(frame->focusedEdge(), CropFrame::top);
        QTest::keyClick(frame, Qt::Key_Down);
        QVERIFY(frame->frame().top() > start.top());
        QCOMPARE(frame->frame().bottom(), start.bottom());
        // The right edge dragged inwards by 20 points.
        const QRectF shown = frame->frameOnScreen();
        const QPoint grab(qRound(shown.right()), qRound(shown.center().y()));
        QTest::mousePress(frame, Qt::LeftButton, {}, grab);
        QTest::mouseMove(frame, grab - QPoint(20, 0));
        QTest::mouseRelease(frame, Qt::LeftButton, {}, grab - QPoint(20, 0));
        QVERIFY(frame->frame().right() < start.right() - 10);
        QCOMPARE(frame->frame().left(), start.left());
        const QRect chosen = frame->frame();

        QTest::keyClick(frame, Qt::Key_Return);
        QTRY_COMPARE(f.model->status(), QStringLiteral("Cropped page 1."));
        QCOMPARE(f.model->pages().front()->pixelSize(), QSizeF(chosen.size()));
        QCOMPARE(f.model->pages().front()->dpi(), page->dpi());
    }

    void dragReordersWithAnIndicator() {
        Fixture f;
        QVERIFY(f.showActive());
        f.addPages(5);
        const QList<QUuid> p = f.ids();
        f.click(0);
        f.click(1, Qt::ControlModifier);
        std::unique_ptr<QMimeData> dragged(
            f.list->model()->mimeData(f.list->selectionModel()->selectedIndexes()));

        // Over the lower half of row 3: the gap after it, drawn as a line.
        const QRect row3 = f.list->visualRect(f.list->model()->index(3, 0));
        const QPoint below3(row3.center().x(), row3.center().y() + row3.height() / 4);
        QVERIFY(dragOver(f.list->viewport(), below3, dragged.get(), false));
        QCOMPARE(f.list->dropRow(), std::optional<int>(4));
        QCOMPARE(f.list->dropIndicatorRect().center().y(), row3.bottom() + 1 - 1);
        const QImage shown = f.list->viewport()->grab().toImage();
        const QColor line = shown.pixelColor(f.list->viewport()->width() / 2, row3.bottom());
        QVERIFY2(line.green() > 150 && line.blue() > 150 && line.red() < 100,
                 qPrintable(line.name()));
        // Over the upper half of row 1: before it.
        const QRect row1 = f.list->visualRect(f.list->model()->index(1, 0));
        QVERIFY(dragOver(f.list->viewport(), row1.topLeft() + QPoint(5, 3), dragged.get(), false));
        QCOMPARE(f.list->dropRow(), std::optional<int>(1));

        // Dropped after row 3: pages 0 and 1 land there in their order and
        // stay selected; one undo puts them back.
        QVERIFY(dragOver(f.list->viewport(), below3, dragged.get(), true));
        QTRY_COMPARE(f.order(p), QStringLiteral("2 3 0 1 4"));
        QCOMPARE(f.list->dropRow(), std::nullopt);
        QCOMPARE(f.model->selectedPageIDs(), (QSet<QUuid>{p[0], p[1]}));
        QCOMPARE(f.selectedRows(), (QList<int>{2, 3}));
        f.model->undo();
        QCOMPARE(f.order(p), QStringLiteral("0 1 2 3 4"));

        // The lower half of the last row: to the end.
        f.list->scrollTo(f.list->model()->index(4, 0));
        const QRect last = f.list->visualRect(f.list->model()->index(4, 0));
        QVERIFY(dragOver(f.list->viewport(), last.center() + QPoint(0, last.height() / 4),
                         dragged.get(), true));
        QTRY_COMPARE(f.order(p), QStringLiteral("2 3 4 0 1"));

        // Text dragged from elsewhere is refused without a word.
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QVERIFY(!dragOver(f.list->viewport(), QPoint(5, 5), &text, true));
        QVERIFY(!dragOver(f.view->preview(), QPoint(20, 20), &text, true));
        QCOMPARE(f.order(p), QStringLiteral("2 3 4 0 1"));
        QVERIFY(!f.model->errorMessage());
    }

    void filesDroppedOnTheWindowBecomePages() {
        Fixture f;
        QVERIFY(f.showActive());
        f.addPages(1);
        QLineEdit* name = f.view->saveCard()->findChild<QLineEdit*>();
        const QString nameBefore = name->text();

        // Onto the file-name field: imported, not typed into the field;
        // onto the list and onto the header: the same. (What a dropped
        // folder or a file that fails gives is the importer's, tested there.)
        QMimeData one;
        one.setUrls({f.image(QStringLiteral("second.png"))});
        QVERIFY(dragOver(name, QPoint(5, 5), &one, true));
        QCOMPARE(name->text(), nameBefore);
        QTRY_COMPARE(f.model->pages().size(), 2);
        QCOMPARE(f.model->pages().last()->id(), f.model->selectedPageID());
        QVERIFY(dragOver(f.list->viewport(), QPoint(5, 5), &one, true));
        QTRY_COMPARE(f.model->pages().size(), 3);
        QVERIFY(dragOver(f.window.get(), QPoint(300, 10), &one, true));
        QTRY_COMPARE(f.model->pages().size(), 4);
        QTRY_VERIFY(!f.model->importing());

        // Anything but local files is refused without a message.
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/page.png"))});
        QVERIFY(!dragOver(f.view, QPoint(50, 50), &web, true));
        QVERIFY(!dragOver(f.window.get(), QPoint(300, 10), &web, true));
        QCOMPARE(f.model->pages().size(), 4);
        QVERIFY(!f.model->errorMessage());
        QVERIFY(!f.model->importing());
    }

    void blankPagesAreMarked() {
        Fixture f;
        QVERIFY(f.showActive());
        f.desktop->imageFilesAnswer = {f.image(QStringLiteral("text.png")),
                                       f.image(QStringLiteral("blank.png"), true),
                                       f.image(QStringLiteral("text2.png"))};
        f.model->importFiles();
        QTRY_VERIFY(!f.model->importing());
        const QModelIndex blank = f.list->model()->index(1, 0);
        QVERIFY(blank.data(PageListModel::LooksBlankRole).toBool());
        QVERIFY(!f.list->model()->index(0, 0).data(PageListModel::LooksBlankRole).toBool());
        QCOMPARE(blank.data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Page 2, looks blank"));

        // The mark is drawn in the danger colour on the blank page's row only.
        const QImage shown = f.list->viewport()->grab().toImage();
        const auto reddish = [&shown](const QRect& area) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor c = shown.pixelColor(x, y);
                    if (c.red() > 150 && c.red() > c.blue() + 40) {
                        return true;
                    }
                }
            }
            return false;
        };
        QVERIFY(reddish(PageRowDelegate::blankMarkRect(f.list->visualRect(blank))));
        QVERIFY(!reddish(
            PageRowDelegate::blankMarkRect(f.list->visualRect(f.list->model()->index(0, 0)))));

        // "Select blank pages" by its shortcut selects it for review.
        f.list->setFocus();
        QTest::keyClick(f.list, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(f.selectedRows(), QList<int>{1});
        QCOMPARE(f.model->pages().size(), 3); // nothing removed
    }
};

QTEST_MAIN(PageListPanelTest)
#include "tst_PageListPanel.moc"
