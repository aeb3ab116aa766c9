// The main window's content: enable rules, shortcuts, the page list and its
// menu, rotation, the preview and the error alert. (What the model says is
// tested with the model; how controls bind, with the toolkit.)
#include "MainWindowFixture.h"

#include "settings/ColourMode.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/ScanSource.h"
#include "ui/controls/ActivityIndicator.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/TesselFooter.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/DarkAppearance.h"
#include "ui/toolkit/SheetPresenter.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QtTest>

namespace {

using Step = FakeScannerDevice::Step;

struct Fixture : MainWindowFixture {
    // Adds pages through "Add image file...", as the user would: images of
    // `size` pixels, left half red and right half blue.
    void addPages(int count, QSize size = QSize(300, 200)) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
        desktop->imageFilesAnswer.clear();
        for (int i = 0; i < count; ++i) {
            const QString path = home.filePath(
                QStringLiteral("in/%1.png").arg(QUuid::createUuid().toString(QUuid::Id128)));
            image.save(path);
            desktop->imageFilesAnswer << QUrl::fromLocalFile(path);
        }
        view->optionsCard()->addImageButton()->click();
        (void)QTest::qWaitFor([this] { return !model->importing(); }, 60000);
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

QMessageBox* openAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
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

        // Return scans; while the scan runs nothing else can start, and the
        // Scan button reads "Cancel scan".
        device->setScanSteps({Step::hold(), Step::page(), Step::page(), Step::complete()});
        QTest::keyClick(f.window.get(), Qt::Key_Return);
        QTRY_VERIFY(f.model->busy());
        QCOMPARE(options->scanButton()->text(), QStringLiteral("Cancel scan"));
        QVERIFY(options->scanButton()->isEnabled());
        QVERIFY(!options->addImageButton()->isEnabled());
        QVERIFY(options->spinner()->isVisible());
        QVERIFY(options->spinner()->isSpinning());
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
        QVERIFY(f.view->saveCard()->saveButton()->isEnabled());
    }

    void returnScansOnlyWhenTheFocusedControlLeavesIt() {
        Fixture f;
        QVERIFY(f.showActive());
        const auto device = f.plugIn(QStringLiteral("fake:1"), QStringLiteral("Desk Scanner"));
        QVERIFY(device != nullptr);
        OptionsCard* options = f.view->optionsCard();

        // In the open Quality picker, Return picks the entry and nothing else.
        QComboBox* quality = options->qualityPicker();
        quality->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.model->settings().dpi, 300);
        quality->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QWidget* popup = QApplication::activePopupWidget();
        QWidget* list = popup->focusWidget() != nullptr ? popup->focusWidget() : popup;
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QCOMPARE(f.model->settings().dpi, 400);
        QCOMPARE(device->scans().size(), 0);
        QVERIFY(!f.model->busy());

        // The closed picker and the text fields leave Return to Scan.
        QTest::keyClick(quality, Qt::Key_Return);
        QTRY_VERIFY(!f.model->busy());
        QCOMPARE(device->scans().size(), 1);
        f.view->saveCard()->fileNameField()->setFocus();
        QTest::keyClick(f.view->saveCard()->fileNameField(), Qt::Key_Return);
        QTRY_VERIFY(!f.model->busy());
        QCOMPARE(device->scans().size(), 2);
        // With a modifier it is not the Scan key.
        QTest::keyClick(f.window.get(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(device->scans().size(), 2);
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

    // Each picker writes its own setting and shows its longest entry whole.
    // (How a binding follows the model is the toolkit's, tested there.)
    void eachPickerWritesItsSetting() {
        Fixture f;
        OptionsCard* options = f.view->optionsCard();
        const auto choose = [](QComboBox* picker, const QString& text) {
            QVERIFY(picker->width() >= picker->sizeHint().width());
            const int index = picker->findText(text);
            QVERIFY2(index >= 0, qPrintable(text));
            picker->setCurrentIndex(index);
            Q_EMIT picker->activated(index);
        };
        choose(options->sourcePicker(), displayName(ScanSource::feederDuplex));
        choose(options->colourPicker(), displayName(ColourMode::greyscale));
        choose(options->qualityPicker(), QStringLiteral("600 dpi (photos)"));
        choose(options->paperPicker(), displayName(PaperSize::legal));
        choose(options->formatPicker(), displayName(OutputFormat::png));
        const AppSettings& settings = f.model->settings();
        QCOMPARE(settings.source, ScanSource::feederDuplex);
        QCOMPARE(settings.colour, ColourMode::greyscale);
        QCOMPARE(settings.dpi, 600);
        QCOMPARE(settings.paper, PaperSize::legal);
        QCOMPARE(settings.format, OutputFormat::png);
        f.view->saveCard()->folderField()->clear();
        QTest::keyClicks(f.view->saveCard()->folderField(), QStringLiteral("/tmp/x"));
        QCOMPARE(settings.saveFolder, QStringLiteral("/tmp/x"));
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

        // "Save & email..." raises the sheet; closing it in any way lowers
        // the model's flag again.
        save->emailButton()->click();
        QVERIFY(f.model->emailSheetVisible());
        QTRY_VERIFY(f.view->sheetPresenter()->sheet() != nullptr);
        QVERIFY(qobject_cast<EmailSheet*>(f.view->sheetPresenter()->sheet()) != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(f.view->sheetPresenter()->sheet()));
        QTest::keyClick(f.view->sheetPresenter()->sheet(), Qt::Key_Escape);
        QTRY_VERIFY(!f.model->emailSheetVisible());
        QTRY_VERIFY(f.view->sheetPresenter()->sheet() == nullptr);
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

        // Choosing another page shows that page.
        const QUuid first = f.model->pages()[0]->id();
        f.model->setSelectedPageID(first);
        QTRY_COMPARE(preview->pictureId(), std::optional<QUuid>(first));
        QCOMPARE(preview->state(), PreviewPane::State::Picture);

        // A burst of selections ends on the last one chosen.
        for (int i = 0; i < 5; ++i) {
            f.model->setSelectedPageID(i % 2 == 0 ? last : first);
        }
        QTRY_COMPARE(preview->pictureId(), std::optional<QUuid>(last));
        QTRY_COMPARE(preview->state(), PreviewPane::State::Picture);
        QTest::qWait(50);
        QCOMPARE(preview->pictureId(), std::optional<QUuid>(last));

        // A page whose cache file is gone shows the placeholder.
        QFile::remove(f.model->pages()[0]->cacheURL().toLocalFile());
        f.model->setSelectedPageID(first);
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
        QTRY_VERIFY(openAlert() != nullptr);
        QCOMPARE(openAlert()->text(), *f.model->errorMessage());
        openAlert()->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(f.model->errorMessage(), std::nullopt);

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
        int lastSplitHeight = 0;
        for (const QSize size : {QSize(940, 620), QSize(940, 660), QSize(1000, 700),
                                 QSize(1100, 760), QSize(1300, 900), QSize(1440, 1000)}) {
            f.window->resize(size);
            QTRY_COMPARE(f.window->size(), size);
            QTRY_COMPARE(scroll->widget()->height(), scroll->viewport()->height());
            const QString at = QStringLiteral(" at %1 x %2").arg(size.width()).arg(size.height());
            for (QWidget* part :
                 {static_cast<QWidget*>(f.view->optionsCard()), static_cast<QWidget*>(save),
                  static_cast<QWidget*>(save->saveButton()),
                  static_cast<QWidget*>(save->emailButton()),
                  static_cast<QWidget*>(f.window->footer())}) {
                QVERIFY2(whole(part), qPrintable(part->metaObject()->className() + at));
            }
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
    }
};

QTEST_MAIN(ContentViewTest)
#include "tst_ContentView.moc"
