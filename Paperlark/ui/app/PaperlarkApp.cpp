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

PaperlarkApp::PaperlarkApp(QApplication& app) : QObject(&app) {
    DarkAppearance::apply(app);
    QApplication::setWindowIcon(AppIcon::icon());
    ApplicationActions::setTarget(this);
    // Whatever ends the event loop (for example the session ending) still
    // leaves no page cache behind.
    connect(&app, &QCoreApplication::aboutToQuit, this, &PaperlarkApp::cleanUpModel);
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
    cleanUpModel();
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
    mainWindow_->show();
}

void PaperlarkApp::showSettingsWindow() {
    if (settingsWindow_ == nullptr) {
        settingsWindow_ = new SettingsWindow;
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
    cleanUpModel();
    Q_EMIT finished();
}

void PaperlarkApp::cleanUpModel() {
    if (cleanedUp_ || model_ == nullptr) {
        return;
    }
    cleanedUp_ = true;
    model_->cleanUp();
}
