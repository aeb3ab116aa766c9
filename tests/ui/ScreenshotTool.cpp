// Builds the application's windows under a real X server (Xvfb) and saves
// pictures of them: the main window, its application menu, the About window,
// the settings window, an alert and the file chooser. Used by
// `make screenshots`; not part of the application.
// Usage: paperlark_screenshots -platform xcb OUTPUT_FOLDER
#include "model/ScannerViewModel.h"
#include "ui/AboutWindow.h"
#include "ui/AlertPresenter.h"
#include "ui/FlatButton.h"
#include "ui/MainWindow.h"
#include "ui/PaperlarkApp.h"
#include "ui/SettingsWindow.h"
#include "ui/TesselHeader.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

namespace {

void settle(int milliseconds = 600) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
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

} // namespace

int main(int argc, char* argv[]) {
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
    MainWindow* main = paperlark.mainWindow();
    main->move(40, 40);
    main->resize(1100, 760);
    main->activateWindow();
    settle();

    bool ok = save(main->grab(), folder, QStringLiteral("main-window.png"));

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

    paperlark.showSettingsWindow();
    settle();
    if (SettingsWindow* settings = paperlark.settingsWindow(); settings != nullptr) {
        ok = save(settings->grab(), folder, QStringLiteral("settings-window.png")) && ok;
    }

    if (SettingsWindow* settings = paperlark.settingsWindow(); settings != nullptr) {
        settings->close();
    }

    // Standard dialogs must be dark too: an alert and the file chooser.
    paperlark.model().setErrorMessage(QStringLiteral("The file could not be read."));
    AlertPresenter::bind(
        main, &paperlark.model(), &ScannerViewModel::errorMessageChanged,
        [&paperlark] { return paperlark.model().errorMessage(); },
        [&paperlark] { paperlark.model().setErrorMessage(std::nullopt); });
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

    paperlark.quit();
    return ok ? 0 : 1;
}
