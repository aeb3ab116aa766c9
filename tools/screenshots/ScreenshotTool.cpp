// Builds the application's windows under a real X server (Xvfb) and saves
// pictures of them: the main window, its application menu, the About window,
// the e-mail sheet, the settings window's three tabs, an alert and the file
// chooser; the page list with several pages selected, with pages dragged
// over it and with a page that looks blank; a crooked page beside itself
// straightened, and the crop frame. Used by `make screenshots`; not part of the
// application. Usage: paperlark_screenshots -platform xcb OUTPUT_FOLDER
#include "model/ScannerViewModel.h"
#include "pages/ImageFile.h"
#include "ui/about/AboutWindow.h"
#include "ui/app/PaperlarkApp.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/TesselHeader.h"
#include "ui/controls/Theme.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/ContentView.h"
#include "ui/main/CropFrame.h"
#include "ui/main/MainWindow.h"
#include "ui/main/PageListModel.h"
#include "ui/main/PageListPanel.h"
#include "ui/main/PreviewPane.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsWindow.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

void settle(int milliseconds = 600) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Lets events run until `done` holds or `milliseconds` have passed.
template <typename Condition> void waitFor(Condition done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        settle(50);
    }
}

bool save(const QPixmap& picture, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    const bool ok = !picture.isNull() && picture.save(path);
    QTextStream(stdout) << (ok ? "saved " : "FAILED ") << path << " (" << picture.width() << " x "
                        << picture.height() << ")\n";
    return ok;
}

QPixmap grabScreenRect(const QRect& rect) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height());
}

// A page of paper at 100 dpi: blank, or with a few lines of print.
QUrl writePage(const QTemporaryDir& folder, const QString& name, bool blank) {
    QImage page(827, 1169, QImage::Format_RGB32);
    page.fill(QColor(250, 249, 245));
    page.setDotsPerMeterX(3937);
    page.setDotsPerMeterY(3937);
    if (!blank) {
        QPainter painter(&page);
        painter.fillRect(QRect(90, 110, 420, 22), QColor(40, 40, 60));
        for (int y = 180; y < 1000; y += 26) {
            painter.fillRect(QRect(90, y, 560 + (y * 37) % 90, 9), QColor(70, 70, 80));
        }
    }
    const QString path = folder.filePath(name);
    return page.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
}

} // namespace

// SANE's test device, drawing its colour pattern instead of solid black, so
// the page list and preview show something. Must be set before SANE starts.
void useColourTestScanner(const QTemporaryDir& folder) {
    QFile dll(folder.filePath(QStringLiteral("dll.conf")));
    QFile test(folder.filePath(QStringLiteral("test.conf")));
    if (!dll.open(QIODevice::WriteOnly) || !test.open(QIODevice::WriteOnly)) {
        return;
    }
    dll.write("test\n");
    test.write("number_of_devices 1\n"
               "test-picture \"Color pattern\"\n");
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(folder.path()));
}

int main(int argc, char* argv[]) {
    const QTemporaryDir saneConfig;
    useColourTestScanner(saneConfig);
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        QTextStream(stderr) << "usage: paperlark_screenshots -platform xcb OUTPUT_FOLDER\n";
        return 2;
    }
    QDir folder(arguments.last());
    if (!folder.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << folder.path() << "\n";
        return 1;
    }

    PaperlarkApp paperlark(app);
    paperlark.start();
    // The test environment's throw-away HOME is no folder a user would
    // recognise: the pictures show the default save folder of a usual home.
    paperlark.model().editSettings(
        [](AppSettings& s) { s.saveFolder = QStringLiteral("/home/sam/Documents/Scans"); });
    MainWindow* main = paperlark.mainWindow();
    main->move(40, 40);
    main->resize(1100, 760);
    main->activateWindow();
    settle();

    bool ok = save(main->grab(), folder, QStringLiteral("main-window.png"));

    // With pages: two scans from SANE's test device, the second page turned,
    // the first one selected and shown in the preview.
    ScannerViewModel& model = paperlark.model();
    waitFor([&model] { return !model.devices().isEmpty(); }, 20000);
    auto* content = qobject_cast<ContentView*>(main->contentView());
    if (!model.devices().isEmpty() && content != nullptr) {
        for (int scan = 0; scan < 2; ++scan) {
            model.scan();
            waitFor([&model] { return !model.busy(); }, 60000);
        }
        content->rotateSelectedPage(1);
        if (!model.pages().isEmpty()) {
            model.setSelectedPageID(model.pages().first()->id());
        }
        waitFor([content] { return content->preview()->state() == PreviewPane::State::Picture; },
                20000);
        settle();
        ok = save(main->grab(), folder, QStringLiteral("main-window-pages.png")) && ok;
    } else {
        QTextStream(stdout) << "FAILED no scanner for the pages picture\n";
        ok = false;
    }

    // The page list for real documents: a few more pages dropped in (one of
    // them blank), several selected, then pages dragged over the list.
    if (content != nullptr) {
        const QTemporaryDir pages;
        model.addDroppedFiles({writePage(pages, QStringLiteral("letter-1.png"), false),
                               writePage(pages, QStringLiteral("back-1.png"), true),
                               writePage(pages, QStringLiteral("letter-2.png"), false)});
        waitFor([&model] { return !model.importing(); }, 60000);
        PageListPanel* panel = content->pageList();
        main->resize(1100, 860); // room for more rows
        settle(300);
        QSet<QUuid> chosen;
        const auto& all = model.pages();
        for (qsizetype i = 0; i < all.size(); i += 2) {
            chosen.insert(all[i]->id());
        }
        if (!all.isEmpty()) {
            model.setSelectedPages(chosen, all.first()->id());
        }
        waitFor([content] { return content->preview()->state() == PreviewPane::State::Picture; },
                20000);
        settle();
        ok = save(main->grab(), folder, QStringLiteral("main-window-selection.png")) && ok;
        ok = save(panel->grab(), folder, QStringLiteral("page-list-selection.png")) && ok;

        // The blank page alone selected, its "Blank?" mark in view.
        model.selectBlankPages();
        settle();
        ok = save(panel->grab(), folder, QStringLiteral("page-list-blank.png")) && ok;

        // The first two pages dragged over the lower half of the third row:
        // the line shows the gap they would drop into.
        QListView* list = panel->list();
        model.setSelectedPages({all[0]->id(), all[1]->id()}, all[0]->id());
        list->scrollToTop();
        settle(200);
        std::unique_ptr<QMimeData> dragged(
            list->model()->mimeData(list->selectionModel()->selectedIndexes()));
        const QRect row =
            list->visualRect(list->model()->index(std::min<int>(2, int(all.size()) - 1), 0));
        const QPoint over(row.center().x(), row.center().y() + row.height() / 4);
        QDragEnterEvent enter(over, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &enter);
        QDragMoveEvent move(over, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &move);
        settle(200);
        ok = save(panel->grab(), folder, QStringLiteral("page-list-drag.png")) && ok;
        QDragLeaveEvent leave;
        QApplication::sendEvent(list->viewport(), &leave);
        main->resize(1100, 760);
        settle(200);
    }

    // A letter fed in crooked, beside the same page straightened; then the
    // crop frame over a receipt on the flatbed.
    if (content != nullptr) {
        const QTemporaryDir pages;
        QImage letter(ImageFile::read(writePage(pages, QStringLiteral("letter.png"), false), 100)
                          .value()
                          .image);
        QImage crooked(letter.size(), QImage::Format_RGB32);
        crooked.fill(QColor(250, 249, 245));
        {
            QPainter painter(&crooked);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.translate(letter.width() / 2.0, letter.height() / 2.0);
            painter.rotate(4);
            painter.translate(-letter.width() / 2.0, -letter.height() / 2.0);
            painter.drawImage(0, 0, letter);
        }
        crooked.setDotsPerMeterX(3937);
        crooked.setDotsPerMeterY(3937);
        const QString crookedPath = pages.filePath(QStringLiteral("crooked.png"));
        QImage receipt(827, 1169, QImage::Format_RGB32);
        receipt.fill(QColor(60, 62, 66)); // the lid
        {
            QPainter painter(&receipt);
            painter.fillRect(QRect(120, 140, 300, 520), QColor(250, 249, 245));
            for (int y = 180; y < 620; y += 22) {
                painter.fillRect(QRect(150, y, 180 + (y * 37) % 60, 7), QColor(70, 70, 80));
            }
        }
        receipt.setDotsPerMeterX(3937);
        receipt.setDotsPerMeterY(3937);
        const QString receiptPath = pages.filePath(QStringLiteral("receipt.png"));
        if (crooked.save(crookedPath) && receipt.save(receiptPath)) {
            model.clearPages(false);
            model.addDroppedFiles(
                {QUrl::fromLocalFile(crookedPath), QUrl::fromLocalFile(receiptPath)});
            waitFor([&model] { return !model.importing(); }, 60000);
        }
        PreviewPane* preview = content->preview();
        const auto shown = [preview] { return preview->state() == PreviewPane::State::Picture; };
        if (model.pages().size() == 2) {
            model.setSelectedPageID(model.pages().first()->id());
            waitFor(shown, 20000);
            settle();
            const QPixmap before = preview->grab();
            model.straightenSelection();
            waitFor([&model] { return !model.busy(); }, 60000);
            settle();
            waitFor(shown, 20000);
            settle();
            const QPixmap after = preview->grab();
            QPixmap beside(before.width() + after.width() + 20, before.height());
            beside.setDevicePixelRatio(before.devicePixelRatio());
            beside.fill(Theme::background.color());
            {
                QPainter painter(&beside);
                painter.drawPixmap(0, 0, before);
                painter.drawPixmap(QPointF(before.width() / before.devicePixelRatio() + 20, 0),
                                   after);
            }
            ok = save(beside, folder, QStringLiteral("straightened-beside-original.png")) && ok;
            QTextStream(stdout) << "  status: " << model.status() << "\n";

            model.setSelectedPageID(model.pages().last()->id());
            waitFor(shown, 20000);
            settle();
            preview->beginCrop();
            settle(1500);
            ok = save(main->grab(), folder, QStringLiteral("crop-frame.png")) && ok;
            if (preview->cropFrame() != nullptr) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(preview->cropFrame(), &escape);
            }
        } else {
            QTextStream(stdout) << "FAILED no pages for the straighten and crop pictures\n";
            ok = false;
        }
    }

    // The menu is a popup of its own: grab the screen around the header's
    // trailing end while it is open.
    FlatButton* menuButton = main->header()->menuButton();
    menuButton->click();
    settle();
    const QMenu* menu = paperlark.menu();
    const QRect menuRect = menu->geometry();
    const QRect buttonRect(menuButton->mapToGlobal(QPoint(0, 0)), menuButton->size());
    const QRect area = menuRect.united(buttonRect).adjusted(-220, -40, 30, 30);
    ok = save(grabScreenRect(area), folder, QStringLiteral("menu.png")) && ok;
    paperlark.menu()->hide();
    settle(200);

    paperlark.showAbout();
    settle();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<AboutWindow*>(window); about != nullptr) {
            ok = save(about->grab(), folder, QStringLiteral("about-window.png")) && ok;
            about->close();
        }
    }

    // The e-mail sheet over the main window, as "Save & email..." opens it
    // (made directly when there are no pages to send).
    model.editSettings([](AppSettings& s) {
        s.defaultRecipient = QStringLiteral("office@example.org");
        s.emailSubject = QStringLiteral("Signed contract");
    });
    if (model.canEmail()) {
        model.beginEmail();
        waitFor([&model] { return !model.emailSize().isEmpty(); }, 20000);
    } else {
        (new EmailSheet(model, main))->open();
    }
    settle();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* sheet = qobject_cast<EmailSheet*>(window); sheet && sheet->isVisible()) {
            ok = save(sheet->grab(), folder, QStringLiteral("email-sheet.png")) && ok;
            sheet->reject();
        }
    }
    settle(200);

    // The settings window, one picture per tab; the e-mail tab with SMTP
    // chosen, so its server rows are enabled.
    model.editSettings([](AppSettings& s) {
        s.emailMethod = EmailMethod::smtp;
        s.smtpHost = QStringLiteral("smtp.example.org");
        s.smtpUser = QStringLiteral("ann");
        s.fromName = QStringLiteral("Ann Example");
        s.fromAddress = QStringLiteral("ann@example.org");
    });
    paperlark.showSettingsWindow();
    settle();
    if (SettingsWindow* settings = paperlark.settingsWindow(); settings != nullptr) {
        if (auto* view = qobject_cast<SettingsView*>(settings->contentView()); view != nullptr) {
            const QStringList names{QStringLiteral("settings-defaults.png"),
                                    QStringLiteral("settings-email.png"),
                                    QStringLiteral("settings-about.png")};
            for (int tab = 0; tab < view->tabs()->count() && tab < names.size(); ++tab) {
                view->tabs()->setCurrentIndex(tab);
                settle(300);
                ok = save(settings->grab(), folder, names[tab]) && ok;
            }
        } else {
            ok = save(settings->grab(), folder, QStringLiteral("settings-window.png")) && ok;
        }
        settings->close();
    }

    // Standard dialogs must be dark too: an alert and the file chooser.
    // The main window's content shows the model's error as its alert.
    paperlark.model().setErrorMessage(QStringLiteral("The file could not be read."));
    settle();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* alert = qobject_cast<QMessageBox*>(window); alert && alert->isVisible()) {
            ok = save(alert->grab(), folder, QStringLiteral("alert.png")) && ok;
            alert->accept();
        }
    }
    settle(200);

    QFileDialog chooser(main, QStringLiteral("Add image files"), QDir::homePath());
    chooser.show();
    settle();
    ok = save(chooser.grab(), folder, QStringLiteral("file-dialog.png")) && ok;
    chooser.close();

    // The pages were never saved: without them quitting does not ask.
    paperlark.model().clearPages(false);
    paperlark.quit();
    return ok ? 0 : 1;
}
