#include "ui/app/PaperlarkApp.h"

#include "model/ScannerViewModel.h"
#include "ui/about/AboutPanel.h"
#include "ui/app/ApplicationActions.h"
#include "ui/app/ApplicationMenu.h"
#include "ui/controls/AppIcon.h"
#include "ui/main/ContentView.h"
#include "ui/main/MainWindow.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/toolkit/DarkAppearance.h"
#include "ui/toolkit/QtDesktopServices.h"

#include <QApplication>
#include <QTimer>

PaperlarkApp::PaperlarkApp(QApplication& app)
    : QObject(&app), terminationSignals_(new TerminationSignals(this)) {
    DarkAppearance::apply(app);
    QApplication::setWindowIcon(AppIcon::icon());
    ApplicationActions::setTarget(this);
    // Whatever else ends the event loop (for example the session ending)
    // still leaves no page cache behind, except unsaved pages.
    connect(&app, &QCoreApplication::aboutToQuit, this, [this] { cleanUpModel(true); });
    connect(terminationSignals_, &TerminationSignals::received, this, &PaperlarkApp::endBySignal);
}

PaperlarkApp::~PaperlarkApp() {
    // The windows refer to the model: they go first, quietly.
    if (settingsWindow_ != nullptr) {
        delete settingsWindow_;
    }
    if (mainWindow_ != nullptr) {
        mainWindow_->disconnect(this);
        mainWindow_.reset();
    }
    cleanUpModel(true);
}

ScannerViewModel& PaperlarkApp::model() {
    if (model_ == nullptr) {
        desktop_ = std::make_shared<QtDesktopServices>();
        model_ = std::make_unique<ScannerViewModel>(desktop_);
    }
    return *model_;
}

void PaperlarkApp::start() {
    if (mainWindow_ != nullptr) {
        mainWindow_->show();
        mainWindow_->raise();
        return;
    }
    menu_ = std::make_unique<ApplicationMenu>();
    connect(menu_.get(), &ApplicationMenu::aboutRequested, this, &PaperlarkApp::showAbout);
    connect(menu_.get(), &ApplicationMenu::settingsRequested, this,
            &PaperlarkApp::showSettingsWindow);
    connect(menu_.get(), &ApplicationMenu::quitRequested, this, &PaperlarkApp::quit);

    mainWindow_ = std::make_unique<MainWindow>(model());
    desktop_->setParentWidget(mainWindow_.get());
    mainWindow_->setApplicationMenu(menu_.get());
    mainWindow_->setContentView(new ContentView(model()));
    connect(mainWindow_.get(), &MainWindow::contentDisappeared, this,
            &PaperlarkApp::mainWindowDisappeared);
    mainWindow_->setCloseGuard([this] { return mayClose(); });
    mainWindow_->show();
    // Once the window is up: sessions that ended without cleaning up.
    QTimer::singleShot(0, model_.get(), &ScannerViewModel::offerRecovery);
}

void PaperlarkApp::showSettingsWindow() {
    if (settingsWindow_ == nullptr) {
        // The main window's child: it opens over it and stays in front.
        settingsWindow_ = new SettingsWindow(mainWindow_.get());
        settingsWindow_->setContentView(new SettingsView(model()));
        if (mainWindow_ != nullptr) {
            settingsWindow_->addActions(menu_->actions());
        }
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void PaperlarkApp::showAbout() {
    AboutPanel::show();
}

void PaperlarkApp::open(const QList<QUrl>& files) {
    if (finished_) {
        return;
    }
    start();
    mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->activateWindow();
    model().importFiles(files);
}

void PaperlarkApp::quit() {
    if (mainWindow_ != nullptr && mainWindow_->isVisible()) {
        mainWindow_->close();
    } else {
        mainWindowDisappeared();
    }
}

void PaperlarkApp::mainWindowDisappeared() {
    if (finished_) {
        return;
    }
    finished_ = true;
    // No window may outlive the main one: the settings window saves its
    // edits as it closes, before the model's own clean-up.
    if (settingsWindow_ != nullptr) {
        settingsWindow_->close();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != mainWindow_.get() && window->isVisible()) {
            window->close();
        }
    }
    cleanUpModel(!discardAgreed_);
    Q_EMIT finished();
}

bool PaperlarkApp::mayClose() {
    if (endingBySignal_ || model_ == nullptr) {
        return true;
    }
    const int unsaved = model_->unsavedPageCount();
    if (unsaved == 0) {
        discardAgreed_ = true; // nothing to lose
        return true;
    }
    discardAgreed_ = desktop_->confirmQuitDiscarding(unsaved);
    return discardAgreed_;
}

void PaperlarkApp::endBySignal() {
    endingBySignal_ = true;
    quit();
}

void PaperlarkApp::cleanUpModel(bool keepUnsavedPages) {
    if (cleanedUp_ || model_ == nullptr) {
        return;
    }
    cleanedUp_ = true;
    model_->cleanUp(keepUnsavedPages);
}
