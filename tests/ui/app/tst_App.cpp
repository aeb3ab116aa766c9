// The application shell: menu, main window, settings window and clean-up.
#include "../../model/TestHome.h"
#include "../UiTestSupport.h"

#include "buildinfo/BuildInfo.h"
#include "model/ScannerViewModel.h"
#include "pages/ImageFile.h"
#include "pages/SessionFolder.h"
#include "pages/SessionLock.h"
#include "pages/SessionManifest.h"
#include "ui/about/AboutWindow.h"
#include "ui/app/ApplicationActions.h"
#include "ui/app/ApplicationMenu.h"
#include "ui/app/PaperlarkApp.h"
#include "ui/controls/ElidedLabel.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/TesselFooter.h"
#include "ui/controls/TesselHeader.h"
#include "ui/controls/WindowButtons.h"
#include "ui/main/MainWindow.h"
#include "ui/settings/SettingsWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// Answers alerts as they come, with the button named, and keeps their texts.
class AlertAnswers : public QObject {
public:
    QStringList texts;
    QStringList buttons; // answered in turn

    AlertAnswers() {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || buttons.isEmpty()) {
                return;
            }
            texts << box->text();
            const QString wanted = buttons.takeFirst();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == wanted) {
                    button->click();
                    return;
                }
            }
            box->reject();
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

// A session of an earlier run that ended without cleaning up: one page.
QString leftBehindSession() {
    const QString folder = QDir(SessionFolder::defaultCacheRoot())
                               .filePath(SessionFolder::folderName(QUuid::createUuid()));
    QDir().mkpath(folder);
    QImage page(40, 60, QImage::Format_RGB32);
    page.fill(Qt::darkYellow);
    const QString name = ScannedPage::makeCacheFileName();
    ImageFile::writePNG(page, QUrl::fromLocalFile(folder + u'/' + name), 100);
    SessionManifest manifest;
    manifest.changed = QDateTime::currentDateTimeUtc();
    manifest.pages.append({QUuid::createUuid(), name, 100, "40 x 60 px @ 100 dpi"});
    manifest.write(folder);
    return folder;
}

} // namespace

class AppTest : public QObject {
    Q_OBJECT

    // A HOME of its own: the application offers whatever sessions it finds
    // in the cache when it starts.
    std::optional<TestHome> home_;

private Q_SLOTS:
    void initTestCase() {
        home_.emplace();
        QVERIFY(home_->isValid());
    }
    void cleanupTestCase() { home_.reset(); }

    void menuItemsInOrder() {
        ApplicationMenu menu;
        const QList<QAction*> actions = menu.actions();
        QStringList texts;
        for (const QAction* action : actions) {
            texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
        }
        QCOMPARE(texts, (QStringList{"About Paperlark", "More free tools", "Buy me a coffee", "---",
                                     "Settings...", "Quit Paperlark"}));
        QCOMPARE(menu.toolsAction()->data().toUrl(), QUrl(BuildInfo::toolsUrl));
        QCOMPARE(menu.donationAction()->data().toUrl(), QUrl(BuildInfo::donationUrl));

        // (Settings... and Quit are used through the application below.)
        QSignalSpy about(&menu, &ApplicationMenu::aboutRequested);
        menu.aboutAction()->trigger();
        QCOMPARE(about.count(), 1);
    }

    void mainWindowShell() {
        PaperlarkApp app(*qApp);
        QVERIFY(!app.hasModel()); // created only when a window needs it
        app.start();
        QVERIFY(app.hasModel());
        MainWindow* window = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QCOMPARE(window->windowTitle(), QStringLiteral("Paperlark"));
        window->resize(600, 400);
        QCOMPARE(window->size(), QSize(940, 620));

        // The header's menu button opens the application menu.
        FlatButton* menuButton = window->header()->menuButton();
        QVERIFY(menuButton->isVisible());
        menuButton->click();
        QTRY_VERIFY(app.menu()->isVisible());
        app.menu()->hide();
        // The menu's shortcuts belong to the window too.
        QVERIFY(window->actions().contains(app.menu()->quitAction()));

        // There is never a second main window.
        app.start();
        QCOMPARE(app.mainWindow(), window);
        QCOMPARE(UiTest::shownWindows<MainWindow>().size(), 1);
    }

    // Files handed over from the command line or another instance: the main
    // window comes up (or forward), and what was not added is told in an
    // alert. (Which files fail, and the alert's words, are the importer's;
    // folders are the model's, and the program's with a second start.)
    void openBringsTheWindowAndImports() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString good = folder.filePath(QStringLiteral("page 1.png"));
        QVERIFY(image.save(good));

        PaperlarkApp app(*qApp);
        app.open({QUrl::fromLocalFile(good),
                  QUrl::fromLocalFile(folder.filePath(QStringLiteral("missing.png")))});
        MainWindow* window = app.mainWindow();
        QVERIFY(window != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(!app.model().importing());
        QCOMPARE(app.model().pages().size(), 1);
        QMessageBox* alert = nullptr;
        QTRY_VERIFY((alert = window->findChild<QMessageBox*>()) != nullptr && alert->isVisible());
        QVERIFY(alert->text().contains(QStringLiteral("missing.png")));
        QCOMPARE(std::optional<QString>(alert->text()), app.model().errorMessage());
        alert->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(app.model().errorMessage(), std::nullopt);

        // A minimised window comes back; nothing to import changes nothing.
        window->showMinimized();
        app.open({});
        QVERIFY(!window->isMinimized());
        QCOMPARE(app.mainWindow(), window);
        QCOMPARE(app.model().pages().size(), 1);

        // Once the application is finishing, nothing more is taken. (The
        // page was never saved: quitting asks first.)
        AlertAnswers alerts;
        alerts.buttons = {"Discard and Quit"};
        app.quit();
        QCOMPARE(alerts.texts, QStringList{"Discard 1 unsaved page(s) and quit?"});
        app.open({QUrl::fromLocalFile(good)});
        QVERIFY(!app.model().importing());
        QCOMPARE(app.model().pages().size(), 1);
    }

    void darkAppearanceEverywhere() {
        PaperlarkApp app(*qApp);
        QVERIFY(QApplication::testAttribute(Qt::AA_DontUseNativeDialogs));
        QCOMPARE(QApplication::palette().color(QPalette::Window), Theme::background.color());
        QCOMPARE(QApplication::font().pixelSize(), 13);

        // Menus, alerts and the file chooser are drawn dark as well.
        const auto isDark = [](const QColor& colour) { return colour.lightness() < 60; };
        ApplicationMenu menu;
        menu.ensurePolished();
        menu.adjustSize();
        const QImage menuImage = menu.grab().toImage();
        UI_COMPARE_COLOUR(menuImage.pixelColor(menuImage.width() / 2, 2), Theme::elevated.color());
        QMessageBox alert(QMessageBox::NoIcon, QStringLiteral("Paperlark"),
                          QStringLiteral("Message"), QMessageBox::Ok);
        alert.show();
        QVERIFY(QTest::qWaitForWindowExposed(&alert));
        QVERIFY(isDark(alert.grab().toImage().pixelColor(2, 2)));
        QVERIFY(alert.buttons().first()->icon().isNull() ||
                QApplication::style()->styleHint(QStyle::SH_DialogButtonBox_ButtonsHaveIcons) == 0);
        QFileDialog chooser;
        chooser.resize(600, 400);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        const QImage chooserImage = chooser.grab().toImage();
        for (const QPoint point : {QPoint(2, 2), QPoint(300, 200), QPoint(590, 360)}) {
            QVERIFY2(isDark(chooserImage.pixelColor(point)),
                     qPrintable(UiTest::describe(chooserImage.pixelColor(point))));
        }
    }

    // There is one settings window: the main window's child, opened centred
    // over it, closed from the keyboard with Escape or Ctrl+W, saving the
    // settings as closing does; Escape in an open picker only closes that.
    void settingsWindowOverTheMainWindowClosesFromTheKeyboard() {
        PaperlarkApp app(*qApp);
        app.start();
        MainWindow* main = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        const QRect screen = main->screen()->availableGeometry();
        QRect mainFrame = main->frameGeometry();
        mainFrame.moveCenter(screen.center() + QPoint(30, 20));
        main->move(mainFrame.topLeft());
        QTRY_COMPARE(main->frameGeometry().center(), screen.center() + QPoint(30, 20));

        // Active itself: QWindow::isActive() holds for a child window while
        // its parent is the active one.
        const auto open = [&app] {
            app.showSettingsWindow();
            SettingsWindow* window = app.settingsWindow();
            const bool active = window != nullptr && QTest::qWaitFor([&] {
                                    return QApplication::activeWindow() == window;
                                });
            return active ? window : nullptr;
        };
        QPointer<SettingsWindow> settings = open();
        QVERIFY(settings != nullptr);
        QCOMPARE(settings->parentWidget(), main);
        QCOMPARE(settings->windowHandle()->transientParent(), main->windowHandle());
        QVERIFY2((settings->frameGeometry().center() - main->frameGeometry().center())
                         .manhattanLength() <= 2,
                 qPrintable(QStringLiteral("settings at %1,%2")
                                .arg(settings->frameGeometry().x())
                                .arg(settings->frameGeometry().y())));
        QVERIFY(screen.contains(settings->frameGeometry()));
        QCOMPARE(settings->windowTitle(), QStringLiteral("Paperlark Settings"));
        // The menu item, the named action and a second call all reuse it.
        app.menu()->settingsAction()->trigger();
        QVERIFY(ApplicationActions::send("showSettingsWindow"));
        app.showSettingsWindow();
        QCOMPARE(app.settingsWindow(), settings.data());
        QCOMPARE(UiTest::shownWindows<SettingsWindow>().size(), 1);

        app.model().editSettings([](AppSettings& s) { s.paper = PaperSize::a4; });
        auto* paper = settings->findChild<QComboBox*>(QStringLiteral("paperPicker"));
        QVERIFY(paper != nullptr);
        paper->setFocus();
        QTest::keyClick(paper, Qt::Key_Down);
        QCOMPARE(app.model().settings().paper, PaperSize::letter);
        QFile::remove(AppSettings::settingsURL().toLocalFile());
        auto* pattern = settings->findChild<QLineEdit*>(QStringLiteral("fileNamePatternField"));
        pattern->setFocus();
        QTest::keyClick(pattern, Qt::Key_Escape);
        QTRY_VERIFY(settings == nullptr);
        QCOMPARE(AppSettings::load().paper, PaperSize::letter);

        settings = open();
        QVERIFY(settings != nullptr);
        paper = settings->findChild<QComboBox*>(QStringLiteral("paperPicker"));
        paper->showPopup();
        QTRY_VERIFY(paper->view()->isVisible());
        QTest::keyClick(paper->view(), Qt::Key_Escape);
        QTRY_VERIFY(!paper->view()->isVisible());
        QVERIFY(settings->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(settings.data()));
        QTest::keyClick(settings, Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(settings == nullptr);
        QVERIFY(main->isVisible());
    }

    // The header's close button, or Ctrl+Q from any window of the
    // application (here the settings window, opened with Ctrl+,), cleans
    // up once: the session folder goes and no window outlives the main one.
    void closingOrQuittingCleansUp() {
        for (const bool shortcut : {false, true}) {
            PaperlarkApp app(*qApp);
            app.start();
            MainWindow* window = app.mainWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            const QString session = app.model().sessionFolder().toLocalFile();
            QVERIFY(QDir(session).exists());
            QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
            QPointer<SettingsWindow> settings = app.settingsWindow();
            QVERIFY(settings != nullptr);
            QSignalSpy finished(&app, &PaperlarkApp::finished);
            if (shortcut) {
                QTRY_VERIFY(QTest::qWaitForWindowActive(settings));
                QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
            } else {
                app.showAbout();
                WindowButtons* buttons = window->header()->windowButtons();
                const QPoint close = buttons->buttonRect(WindowButtons::Button::close).center();
                QTest::mouseClick(buttons, Qt::LeftButton, {}, close);
            }
            QCOMPARE(finished.count(), 1);
            QVERIFY(!window->isVisible());
            QVERIFY(!QDir(session).exists());
            QTRY_VERIFY(settings == nullptr || !settings->isVisible());
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                QVERIFY2(!widget->isVisible() || widget->isHidden(),
                         qPrintable(widget->objectName()));
            }
            // However the application then ends.
            app.quit();
            QCOMPARE(finished.count(), 1);
        }
    }

    void unsavedPagesAreAskedAboutOrKept() {
        // An earlier session is offered once the window is up; restored, its
        // page counts as unsaved.
        const QString earlier = leftBehindSession();
        AlertAnswers alerts;
        alerts.buttons = {"Restore"};
        auto app = std::make_unique<PaperlarkApp>(*qApp);
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->mainWindow()));
        QTRY_COMPARE_WITH_TIMEOUT(app->model().pages().size(), 1, 60000);
        QVERIFY(alerts.texts.first().startsWith(
            "Paperlark closed before these pages were saved. Restore 1 page(s) from "));
        QVERIFY(!QFileInfo::exists(earlier));
        const QString session = app->model().sessionFolder().toLocalFile();

        // Closing asks; Cancel keeps everything.
        QSignalSpy finished(app.get(), &PaperlarkApp::finished);
        alerts.buttons = {"Cancel"};
        app->quit();
        QCOMPARE(alerts.texts.last(), QStringLiteral("Discard 1 unsaved page(s) and quit?"));
        QCOMPARE(finished.count(), 0);
        QVERIFY(app->mainWindow()->isVisible());

        // SIGTERM ends it without asking and keeps the session for later.
        std::raise(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QCOMPARE(alerts.texts.size(), 2);
        QVERIFY(QFileInfo::exists(QDir(session).filePath(SessionManifest::fileName)));
        QVERIFY(!SessionLock::isHeldElsewhere(session));
        app.reset();

        // The next start offers it again; "Discard and Quit" then removes it.
        alerts.buttons = {"Restore"};
        app = std::make_unique<PaperlarkApp>(*qApp);
        app->start();
        QTRY_COMPARE_WITH_TIMEOUT(app->model().pages().size(), 1, 60000);
        QVERIFY(!QFileInfo::exists(session));
        const QString again = app->model().sessionFolder().toLocalFile();
        QSignalSpy ended(app.get(), &PaperlarkApp::finished);
        alerts.buttons = {"Discard and Quit"};
        app->quit();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!QFileInfo::exists(again));
    }
};

QTEST_MAIN(AppTest)
#include "tst_App.moc"
