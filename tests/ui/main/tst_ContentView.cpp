// The main window's content: enable rules, shortcuts, the page list and its
// menu, rotation, the preview and the error alert. (What the model says is
// tested with the model; how controls bind, with the toolkit.)
#include "MainWindowFixture.h"

#include "pages/PdfWriter.h"
#include "settings/ColourMode.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/ScanSource.h"
#include "ui/controls/ActivityIndicator.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/TesselFooter.h"
#include "ui/controls/Theme.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/DarkAppearance.h"
#include "ui/toolkit/SheetPresenter.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QtTest>

namespace {

using Step = FakeScannerDevice::Step;

struct Fixture : MainWindowFixture {
    // Pages of `size` pixels, left half red and right half blue.
    void addPages(int count, QSize size = QSize(300, 200)) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
        MainWindowFixture::addPages(QList<QImage>(count, image));
    }
};

QStringList entries(const QComboBox* picker) {
    QStringList texts;
    for (int i = 0; i < picker->count(); ++i) {
        texts << picker->itemText(i);
    }
    return texts;
}

// Every accessible object below `root`, depth first.
QList<QAccessibleInterface*> accessibleTree(QAccessibleInterface* root) {
    QList<QAccessibleInterface*> all{root};
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* child = root->child(i)) {
            all += accessibleTree(child);
        }
    }
    return all;
}

// How many pixels of two pictures of one place differ plainly (a faint or
// half-covered line does not).
int changedPixels(const QImage& a, const QImage& b) {
    int changed = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            const int difference = std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                                   std::abs(p.blue() - q.blue());
            changed += difference >= 150 ? 1 : 0;
        }
    }
    return changed;
}

} // namespace

class ContentViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    void scanFollowsTheScannersAndTheBusyFlag() {
        Fixture f;
        QVERIFY(f.showActive());
        OptionsCard* options = f.view->optionsCard();
        QTRY_COMPARE(entries(options->scannerPicker()), QStringList{OptionsCard::noScannerText()});
        QCOMPARE(options->scannerPicker()->currentIndex(), 0);
        QVERIFY(!options->scanButton()->isEnabled());
        QVERIFY(options->addImageButton()->isEnabled());
        QVERIFY(options->spinner()->isHidden());

        // Return does nothing while Scan is off.
        const QString status = f.model->status();
        QTest::keyClick(f.window.get(), Qt::Key_Return);
        QCOMPARE(f.model->errorMessage(), std::nullopt);
        QCOMPARE(f.model->status(), status);

        options->refreshButton()->click();
        QCOMPARE(f.browser->starts(), 2);

        const auto device = f.plugIn(QStringLiteral("fake:1"), QStringLiteral("Desk Scanner"));
        QVERIFY(device != nullptr);
        QCOMPARE(entries(options->scannerPicker()), QStringList{QStringLiteral("Desk Scanner")});
        QCOMPARE(options->scannerPicker()->currentText(), QStringLiteral("Desk Scanner"));
        QVERIFY(options->scanButton()->isEnabled());

        // The Scan button fits "Cancel scan", in a large font too.
        FlatButton* scan = options->scanButton();
        FlatButton cancel(QStringLiteral("Cancel scan"), PrimaryButtonStyle());
        cancel.setSymbol(scan->symbol());
        for (FlatButton* button : {scan, &cancel}) {
            button->setFont(Theme::font(24, QFont::Medium));
        }
        QVERIFY(scan->sizeHint().width() >= cancel.sizeHint().width());
        scan->setFont(Theme::font(13, QFont::Medium));
        QTRY_COMPARE(scan->width(), scan->sizeHint().width());
        const int scanWidth = scan->width();

        // Return scans; while the scan runs nothing else can start, and the
        // Scan button reads "Cancel scan".
        device->setScanSteps({Step::hold(), Step::page(), Step::page(), Step::complete()});
        QTest::keyClick(f.window.get(), Qt::Key_Return);
        QTRY_VERIFY(f.model->busy());
        QCOMPARE(options->scanButton()->text(), QStringLiteral("Cancel scan"));
        QCOMPARE(options->scanButton()->width(), scanWidth); // fits both texts
        QVERIFY(options->scanButton()->isEnabled());
        QVERIFY(!options->addImageButton()->isEnabled());
        QVERIFY(options->spinner()->isVisible());
        const int angle = options->spinner()->angle();
        QTRY_VERIFY(options->spinner()->angle() != angle);
        QTRY_COMPARE(device->scans().size(), 1);
        QTest::keyClick(f.window.get(), Qt::Key_Return);
        QCOMPARE(f.model->errorMessage(), std::nullopt); // Scan is off: nothing happened
        QCOMPARE(device->scans().size(), 1);
        QCOMPARE(device->cancelRequests(), 0);

        device->resume();
        QTRY_VERIFY(!f.model->busy());
        QCOMPARE(f.rowTitles(), (QStringList{QStringLiteral("Page 1"), QStringLiteral("Page 2")}));
        QVERIFY(options->scanButton()->isEnabled());
        QCOMPARE(options->scanButton()->text(), QStringLiteral("Scan"));

        // Escape, or the button itself, cancels a running scan; the pages
        // already in stay.
        for (const bool escape : {true, false}) {
            device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
            options->scanButton()->click();
            QTRY_COMPARE(f.model->status(), QStringLiteral("Scanned page 1..."));
            if (escape) {
                QTest::keyClick(f.window.get(), Qt::Key_Escape);
            } else {
                options->scanButton()->click();
            }
            QTRY_VERIFY(!f.model->busy());
            QCOMPARE(f.model->errorMessage(), std::nullopt); // no alert
            QCOMPARE(options->scanButton()->text(), QStringLiteral("Scan"));
        }
        QCOMPARE(device->cancelRequests(), 2);
        QCOMPARE(f.rowTitles().size(), 4);
        QVERIFY(options->spinner()->isHidden());
        QVERIFY(!options->spinner()->isSpinning());
    }

    void addingALongPdfCanBeCancelled() {
        Fixture f;
        QVERIFY(f.showActive());
        PdfWriter writer;
        QImage mono(64, 80, QImage::Format_Mono);
        mono.fill(1);
        for (int i = 0; i < 500; ++i) {
            QVERIFY(writer.addPage(QSizeF(46.08, 57.6), PdfImage::mono(mono)));
        }
        QFile out(f.home.filePath("long.pdf"));
        QVERIFY(out.open(QIODevice::WriteOnly) && writer.write(out, "test"));
        out.close();
        f.model->addDroppedFiles({QUrl::fromLocalFile(out.fileName())});

        // While it runs, "Add image file..." cancels it and Save waits.
        OptionsCard* options = f.view->optionsCard();
        QCOMPARE(options->addImageButton()->text(), OptionsCard::cancelAddingText());
        QVERIFY(options->addImageButton()->isEnabled());
        QVERIFY(options->spinner()->isVisible());
        QTRY_VERIFY(f.model->pages().size() >= 2);
        QVERIFY(!f.view->saveCard()->saveButton()->isEnabled());
        QTest::keyClick(f.window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!f.model->importing());
        // (Which pages stay is the importer's, tested with it.)
        QVERIFY(f.model->status().startsWith("Adding the PDF long.pdf was cancelled."));
        QCOMPARE(f.model->errorMessage(), std::nullopt); // no alert
        QCOMPARE(options->addImageButton()->text(), QStringLiteral("Add image file..."));
        QVERIFY(options->spinner()->isHidden());
        QVERIFY(f.view->saveCard()->saveButton()->isEnabled());
    }

    // After a scan as before one, Return scans only when the focus is on
    // nothing that uses it: an open picker picks, a focused button presses
    // itself, a text field confirms its text; a closed picker leaves it.
    void returnScansOnlyWhenTheFocusLeavesIt() {
        Fixture f;
        QVERIFY(f.showActive());
        const auto device = f.plugIn(QStringLiteral("fake:1"), QStringLiteral("Desk Scanner"));
        QVERIFY(device != nullptr);
        SaveCard* save = f.view->saveCard();
        QComboBox* quality = f.view->optionsCard()->qualityPicker();
        const auto returnOn = [&f](QWidget* control) {
            QApplication::setActiveWindow(f.window.get());
            control->setFocus(Qt::TabFocusReason);
            QTest::keyClick(control, Qt::Key_Return);
        };
        returnOn(f.view); // where the window opens: no control
        QTRY_COMPARE(f.model->pages().size(), 1);

        quality->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QWidget* popup = QApplication::activePopupWidget();
        QWidget* list = popup->focusWidget() != nullptr ? popup->focusWidget() : popup;
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE(f.model->settings().dpi, 400);
        returnOn(save->saveButton());
        QTRY_COMPARE(f.savedFiles().size(), 1);
        returnOn(save->fileNameField());
        returnOn(save->folderField());
        QTest::qWait(50); // a scan would have begun by now
        QCOMPARE(device->scans().size(), 1);

        returnOn(quality);
        QTRY_COMPARE(device->scans().size(), 2);
        QTest::keyClick(quality, Qt::Key_Return, Qt::ShiftModifier); // not the Scan key
        QTRY_VERIFY(!f.model->busy());
        QCOMPARE(device->scans().size(), 2);
    }

    // Every Tab stop is a visible, named control that looks plainly
    // different with the focus (by more than a 1-point outline could); the
    // page list is one only while it holds pages.
    void everyTabStopShowsItsFocus() {
        Fixture f;
        QVERIFY(f.showActive());
        QVERIFY(f.plugIn(QStringLiteral("fake:1"), QStringLiteral("Desk Scanner")) != nullptr);
        QWidget* window = f.window.get();
        const auto tabStops = [&f, window] {
            QStringList names;
            QWidgetList stops;
            f.view->setFocus();
            while (stops.size() < 40) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget* stop = QApplication::focusWidget();
                // A picker is heard by its value, labelled by its caption.
                const QString heard =
                    QAccessible::queryAccessibleInterface(stop)->text(QAccessible::Name);
                const QString name =
                    stop->accessibleName().isEmpty() ? heard : stop->accessibleName();
                if (stops.contains(stop)) {
                    break;
                }
                stops << stop;
                const QRect place(stop->mapTo(window, QPoint()), stop->size());
                const auto picture = [window, place] {
                    return window->grab(place).toImage().convertToFormat(QImage::Format_RGB32);
                };
                const QImage focused = picture();
                f.view->setFocus();
                const bool seen =
                    !heard.isEmpty() && window->rect().contains(place) &&
                    stop->visibleRegion().boundingRect() == stop->rect() &&
                    changedPixels(focused, picture()) > 3 * (place.width() + place.height());
                stop->setFocus(Qt::TabFocusReason);
                names << (seen ? name : QStringLiteral("<unseen: %1>").arg(name));
            }
            return names;
        };
        QCOMPARE(QApplication::focusWidget(), f.view); // no control at the start
        QCOMPARE(tabStops(),
                 (QStringList{"Scanner", "Refresh", "Source", "Colour", "Quality", "Page size",
                              "Save as", "Scan", "Add image file...", "Save to", "Choose...",
                              "Open folder", "File name", "Settings...", "About", "Brannock",
                              QStringLiteral("\u2615 Buy me a coffee")}));
        f.addPages(2);
        const QStringList withPages = tabStops();
        QVERIFY2(!withPages.join(u',').contains(u'<'), qPrintable(withPages.join(u',')));
        QVERIFY(withPages.contains(QStringLiteral("Pages")) &&
                withPages.contains(QStringLiteral("Save")));

        // When its last page goes, the list hands the focus on.
        QListView* list = f.view->pageList()->list();
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(QApplication::focusWidget(), f.view->saveCard()->folderField());
    }

    void screenReadersHearWhatIsShown() {
        Fixture f;
        QVERIFY(f.showActive());
        QVERIFY(f.plugIn(QStringLiteral("fake:1"), QStringLiteral("Desk Scanner")) != nullptr);
        f.addPages(1);

        // Every visible control is named; nothing is read as an unnamed filler.
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(f.window.get());
        QVERIFY(window != nullptr);
        const QList<QAccessible::Role> controls{QAccessible::Button,       QAccessible::ComboBox,
                                                QAccessible::EditableText, QAccessible::StaticText,
                                                QAccessible::StatusBar,    QAccessible::Link,
                                                QAccessible::CheckBox};
        QStringList named;
        for (QAccessibleInterface* item : accessibleTree(window)) {
            if (item->state().invisible || !controls.contains(item->role())) {
                continue;
            }
            QVERIFY2(!item->text(QAccessible::Name).isEmpty(),
                     qPrintable(QStringLiteral("unnamed control of role %1 at %2")
                                    .arg(int(item->role()))
                                    .arg(QString::number(item->rect().x()) + u',' +
                                         QString::number(item->rect().y()))));
            named << item->text(QAccessible::Name);
        }
        for (const QString& name :
             {QStringLiteral("tessel"), QStringLiteral("Close"), QStringLiteral("Minimise"),
              QStringLiteral("Maximise"), QStringLiteral("Scan"), QStringLiteral("Quality"),
              QStringLiteral("Save to"), QStringLiteral("File name"),
              QStringLiteral("Save & email...")}) {
            QVERIFY2(named.contains(name), qPrintable(name));
        }

        // The footer's status line is a status bar that follows the model.
        QAccessibleInterface* status = QAccessible::queryAccessibleInterface(
            f.window->findChild<QWidget*>(QStringLiteral("footerStatus")));
        QVERIFY(status != nullptr);
        QCOMPARE(status->role(), QAccessible::StatusBar);
        QCOMPARE(status->text(QAccessible::Name), f.model->status());
        f.model->setStatus(QStringLiteral("Saved Letter.pdf."));
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Saved Letter.pdf."));

        // "Save & email..." is shown and read with its ampersand, and no
        // Alt key combination presses it.
        FlatButton* email = f.view->saveCard()->emailButton();
        QCOMPARE(email->label(), QStringLiteral("Save & email..."));
        QCOMPARE(QAccessible::queryAccessibleInterface(email)->text(QAccessible::Name),
                 QStringLiteral("Save & email..."));
        QVERIFY(QKeySequence::mnemonic(email->text()).isEmpty());

        // The window buttons can be pressed from the accessibility tree.
        QAccessibleInterface* buttons = nullptr;
        for (QAccessibleInterface* item : accessibleTree(window)) {
            if (item->role() == QAccessible::Button &&
                item->text(QAccessible::Name) == QStringLiteral("Minimise")) {
                buttons = item;
            }
        }
        QVERIFY(buttons != nullptr);
        QVERIFY(buttons->actionInterface() != nullptr);
        QCOMPARE(buttons->actionInterface()->actionNames(),
                 QStringList{QAccessibleActionInterface::pressAction()});
        QVERIFY(!buttons->rect().isEmpty());
    }

    // Each picker shows its longest entry whole. (Which setting each writes
    // is bound once, in the options card; how bindings follow the model is
    // the toolkit's test.)
    void picksShowTheirLongestEntryWhole() {
        Fixture f;
        OptionsCard* options = f.view->optionsCard();
        for (QComboBox* picker :
             {options->sourcePicker(), options->colourPicker(), options->qualityPicker(),
              options->paperPicker(), options->formatPicker()}) {
            QVERIFY(picker->width() >= picker->sizeHint().width());
        }
    }

    void pageButtonsSaveAndEmailFollowThePages() {
        Fixture f;
        QVERIFY(f.showActive());
        PageListPanel* list = f.view->pageList();
        SaveCard* save = f.view->saveCard();
        QVERIFY(!list->buttonRow()->isEnabled());
        for (FlatButton* button : {list->rotateLeftButton(), list->rotateRightButton(),
                                   list->deleteButton(), list->clearAllButton()}) {
            QVERIFY(!button->isEnabled());
        }
        QVERIFY(!save->saveButton()->isEnabled());
        QVERIFY(!save->emailButton()->isEnabled());
        QCOMPARE(f.view->preview()->state(), PreviewPane::State::Placeholder);

        // Ctrl+S with nothing to save writes nothing.
        QTest::keyClick(f.window.get(), Qt::Key_S, Qt::ControlModifier);
        QTest::qWait(300); // a shortcut clicks its button after a short press
        QVERIFY(f.savedFiles().isEmpty());
        QCOMPARE(f.model->errorMessage(), std::nullopt);

        f.addPages(2);
        QCOMPARE(f.model->pages().size(), 2);
        QVERIFY(list->deleteButton()->isEnabled());
        QVERIFY(list->rotateLeftButton()->isEnabled());
        QVERIFY(save->saveButton()->isEnabled());
        QVERIFY(save->emailButton()->isEnabled());
        QCOMPARE(f.rowTitles(), (QStringList{QStringLiteral("Page 1"), QStringLiteral("Page 2")}));

        QTest::keyClick(f.window.get(), Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(f.savedFiles().size(), 1);
        QVERIFY(f.model->status().startsWith(QStringLiteral("Saved ")));

        // "Save & email..." raises the sheet, a window-modal child with the
        // dark chrome; closing it lowers the model's flag, and lowering the
        // flag closes it. Each showing is a new sheet.
        for (const bool escape : {true, false}) {
            save->emailButton()->click();
            QVERIFY(f.model->emailSheetVisible());
            QPointer<QDialog> sheet = f.view->sheetPresenter()->sheet();
            QVERIFY(qobject_cast<EmailSheet*>(sheet) != nullptr);
            QCOMPARE(sheet->parentWidget(), f.view);
            QCOMPARE(sheet->windowModality(), Qt::WindowModal);
            QVERIFY(sheet->findChild<WindowConfigurator*>() != nullptr);
            QVERIFY(QTest::qWaitForWindowExposed(sheet));
            if (escape) {
                QTest::keyClick(sheet, Qt::Key_Escape);
                QVERIFY(!f.model->emailSheetVisible());
            } else {
                f.model->setEmailSheetVisible(false);
            }
            QTRY_VERIFY(sheet == nullptr && f.view->sheetPresenter()->sheet() == nullptr);
        }
        QCOMPARE(f.savedFiles().size(), 1);

        // Clearing empties the list; the earlier save still allows e-mail.
        f.desktop->discardAnswer = true;
        list->clearAllButton()->click();
        QCOMPARE(f.desktop->discardQuestions, 1);
        QVERIFY(f.model->pages().isEmpty());
        QVERIFY(!list->buttonRow()->isEnabled());
        QVERIFY(!save->saveButton()->isEnabled());
        QVERIFY(save->emailButton()->isEnabled());
        QCOMPARE(f.view->preview()->state(), PreviewPane::State::Placeholder);
    }

    void previewIsDecodedOncePerChange() {
        Fixture f;
        f.window->resize(1100, 760);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        PreviewPane* preview = f.view->preview();
        f.addPages(2, QSize(400, 300));
        const QUuid last = f.model->pages()[1]->id();
        QTRY_COMPARE(preview->state(), PreviewPane::State::Picture);
        QCOMPARE(preview->pictureId(), std::optional<QUuid>(last));
        QCOMPARE(preview->picture().size(), QSize(400, 300));
        const int decodes = preview->decodeCount();

        // Repainting and resizing never decode again.
        for (int i = 0; i < 3; ++i) {
            preview->repaint();
        }
        f.window->resize(1200, 800);
        QApplication::processEvents();
        preview->repaint();
        QCOMPARE(preview->decodeCount(), decodes);
        const QRectF drawn = preview->pictureRect();
        QVERIFY(drawn.width() > 0);
        QCOMPARE(qRound(drawn.width() * 3), qRound(drawn.height() * 4));
        QVERIFY(drawn.left() >= PreviewPane::margin - 0.5);

        // Choosing another page shows that page; a burst of selections ends
        // on the last one chosen.
        const QUuid first = f.model->pages()[0]->id();
        for (int i = 0; i < 5; ++i) {
            f.model->setSelectedPageID(i % 2 == 0 ? first : last);
        }
        QTRY_COMPARE(preview->pictureId(), std::optional<QUuid>(first));
        QTRY_COMPARE(preview->state(), PreviewPane::State::Picture);
        QTest::qWait(50);
        QCOMPARE(preview->pictureId(), std::optional<QUuid>(first));

        // A page whose cache file is gone shows the placeholder.
        QFile::remove(f.model->pages()[1]->cacheURL().toLocalFile());
        f.model->setSelectedPageID(last);
        QTRY_COMPARE(preview->state(), PreviewPane::State::Placeholder);
    }

    void rotationRedrawsOrReportsTheFailure() {
        Fixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        PreviewPane* preview = f.view->preview();
        f.addPages(1, QSize(400, 300));
        const auto page = f.model->selectedPage();
        QVERIFY(page != nullptr);
        QTRY_COMPARE(preview->state(), PreviewPane::State::Picture);
        const qint64 thumbnailBefore = page->thumbnail().cacheKey();
        const int decodes = preview->decodeCount();
        QCOMPARE(preview->picture().pixelColor(10, 150), QColor(Qt::red));

        // "Rotate 180°" from the menu: still landscape, colours swapped sides.
        QAction* halfTurn = f.view->pageList()->contextMenu()->actions().at(2);
        QCOMPARE(halfTurn->text(), QStringLiteral("Rotate 180°"));
        halfTurn->trigger();
        QCOMPARE(page->pixelSize(), QSizeF(400, 300));
        QVERIFY(page->thumbnail().cacheKey() != thumbnailBefore);
        QTRY_COMPARE(preview->decodeCount(), decodes + 1);
        QTRY_COMPARE(preview->picture().pixelColor(10, 150), QColor(Qt::blue));
        QCOMPARE(f.model->pages().size(), 1);

        // A quarter turn from the button makes it portrait.
        f.view->pageList()->rotateRightButton()->click();
        QCOMPARE(page->pixelSize(), QSizeF(300, 400));
        QTRY_COMPARE(preview->picture().size(), QSize(300, 400));
        const QModelIndex row = f.view->pageList()->list()->model()->index(0, 0);
        QCOMPARE(row.data(PageListModel::DescriptionRole).toString(), page->description());

        // A page whose file has gone cannot turn: the alert tells why.
        QVERIFY(QFile::remove(page->cacheURL().toLocalFile()));
        f.view->rotateSelectedPage(1);
        QVERIFY(!f.model->errorMessage().value_or(QString()).isEmpty());
        QCOMPARE(page->pixelSize(), QSizeF(300, 400));
        f.model->setErrorMessage(std::nullopt);

        // Nothing selected: nothing happens.
        f.model->setSelectedPageID(std::nullopt);
        f.view->rotateSelectedPage(1);
        QCOMPARE(f.model->errorMessage(), std::nullopt);
    }

    void cardsAndFooterStayWholeAtEverySize() {
        Fixture f;
        f.window->resize(MainWindow::minimumWindowSize);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QCOMPARE(f.window->size(), MainWindow::minimumWindowSize);
        QSplitter* split = f.view->splitter();
        QScrollArea* scroll = f.view->scrollArea();
        SaveCard* save = f.view->saveCard();

        // Shown whole: inside the window and inside the scroll area's view.
        const auto whole = [&](QWidget* part) {
            const QRect inWindow(part->mapTo(f.window.get(), QPoint()), part->size());
            if (!part->isVisible() || !f.window->rect().contains(inWindow)) {
                return false;
            }
            if (!scroll->isAncestorOf(part)) {
                return true;
            }
            const QRect inView(part->mapTo(scroll->viewport(), QPoint()), part->size());
            return scroll->viewport()->rect().contains(inView);
        };
        // Without scrolling.
        const auto allWhole = [&](const QString& at) {
            QTRY_COMPARE(scroll->widget()->height(), scroll->viewport()->height());
            for (QWidget* part :
                 {static_cast<QWidget*>(f.view->optionsCard()), static_cast<QWidget*>(save),
                  static_cast<QWidget*>(save->saveButton()),
                  static_cast<QWidget*>(save->emailButton()),
                  static_cast<QWidget*>(f.window->footer())}) {
                QVERIFY2(whole(part), qPrintable(part->metaObject()->className() + at));
            }
        };
        int lastSplitHeight = 0;
        for (const QSize size : {QSize(940, 620), QSize(940, 660), QSize(1000, 700),
                                 QSize(1100, 760), QSize(1300, 900), QSize(1440, 1000)}) {
            f.window->resize(size);
            QTRY_COMPARE(f.window->size(), size);
            const QString at = QStringLiteral(" at %1 x %2").arg(size.width()).arg(size.height());
            allWhole(at);
            QVERIFY2(split->height() >= ContentView::splitMinimumHeight,
                     qPrintable(QString::number(split->height()) + at));
            QVERIFY(split->height() >= lastSplitHeight); // the extra height goes to it
            lastSplitHeight = split->height();

            // Nothing overlaps, and nothing needs sideways scrolling.
            QWidget* column = scroll->widget();
            const auto top = [column](QWidget* part) { return part->mapTo(column, QPoint()).y(); };
            const auto bottom = [&top](QWidget* part) { return top(part) + part->height(); };
            QVERIFY(bottom(f.view->optionsCard()) <= top(split));
            QVERIFY(bottom(split) <= top(save));
            QVERIFY(column->width() <= scroll->viewport()->width());
            const int list = split->widget(0)->width();
            QVERIFY2(list >= ContentView::listMinimumWidth && list <= ContentView::listMaximumWidth,
                     qPrintable(QString::number(list)));
            QVERIFY(split->widget(1)->width() >= ContentView::previewMinimumWidth);
        }
        // In the usual window size the title is there and the split area
        // has at least 260 points.
        f.window->resize(1100, 760);
        QTRY_VERIFY(f.view->title()->isVisible());
        QVERIFY(split->height() >= 260);

        // On a screen smaller than the minimum (1920 x 1080 at scale factor 2
        // offers 960 x 540 points) the window and its minimum give way and
        // the split area shrinks further, shown or maximised; back on a large
        // screen the minimum holds again.
        const QList<QScreen*> screens = QGuiApplication::screens();
        QVERIFY2(screens.size() == 2, "runs on the screens scripts/test-env.sh sets up");
        const QRect small = screens[1]->availableGeometry();
        f.window->setScreen(screens[1]);
        f.window->move(small.topLeft());
        for (const bool maximised : {false, true}) {
            if (maximised) {
                f.window->showMaximized();
            }
            QTRY_VERIFY(small.contains(f.window->frameGeometry()));
            allWhole(maximised ? QStringLiteral(" maximised")
                               : QStringLiteral(" on a small screen"));
            QVERIFY(split->height() >= ContentView::splitSmallestHeight);
        }
        f.window->showNormal();
        f.window->setScreen(screens[0]);
        QTRY_COMPARE(f.window->minimumSize(), MainWindow::minimumWindowSize);
    }
};

QTEST_MAIN(ContentViewTest)
#include "tst_ContentView.moc"
