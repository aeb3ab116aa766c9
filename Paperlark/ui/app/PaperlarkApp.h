#pragma once

#include "ui/app/ApplicationMenu.h"
#include "ui/app/TerminationSignals.h"
#include "ui/main/MainWindow.h"
#include "ui/settings/SettingsWindow.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QApplication;
class QtDesktopServices;
class ScannerViewModel;

// The application around the windows: forces the dark appearance, owns the
// one view model (created the first time a window needs it), the one main
// window, the application menu and at most one settings window.
//
// Closing the main window, by its close button or by "Quit Paperlark"
// (Ctrl+Q), closes the other windows, cleans the model up once and then
// emits finished(); main() quits the event loop in answer. With pages never
// saved it asks first ("Discard N unsaved page(s) and quit?").
//
// SIGTERM and SIGHUP end the application the same way without asking, except
// that a session with unsaved pages is kept for the next start to offer back;
// so does anything else that ends the event loop. Once the main window is
// shown, the model offers the sessions of earlier runs that ended without
// cleaning up.
class PaperlarkApp : public QObject {
    Q_OBJECT

public:
    // Applies the dark appearance to `app`; creates no window yet.
    explicit PaperlarkApp(QApplication& app);
    ~PaperlarkApp() override;

    // Creates the main window (and with it the model) and shows it.
    void start();

    // The application's model, created on first use.
    ScannerViewModel& model();
    bool hasModel() const { return model_ != nullptr; }

    MainWindow* mainWindow() const { return mainWindow_.get(); }
    SettingsWindow* settingsWindow() const { return settingsWindow_; }
    ApplicationMenu* menu() const { return menu_.get(); }

public Q_SLOTS:
    // Opens the settings window, or brings the open one to the front.
    // Also reachable as ApplicationActions::send("showSettingsWindow").
    void showSettingsWindow();
    void showAbout();
    // Brings the main window to the front (creating it when needed) and
    // imports `files` as "Add image file..." does, failures included.
    // `activationToken` is the desktop's consent to raise the window, where
    // the platform asks for one (see WindowActivation). Does nothing once
    // the application is finishing.
    void open(const QList<QUrl>& files, const QString& activationToken = {});
    // Closes the main window, which cleans up and finishes the application.
    void quit();

Q_SIGNALS:
    // The main window has gone and the model is cleaned up.
    void finished();

private:
    void mainWindowDisappeared();
    // Cleans the model up once; unsaved pages are kept unless the user has
    // agreed to discard them.
    void cleanUpModel(bool keepUnsavedPages);
    // Asked before the main window closes.
    bool mayClose();
    void endBySignal();

    std::shared_ptr<QtDesktopServices> desktop_;
    std::unique_ptr<ScannerViewModel> model_;
    std::unique_ptr<ApplicationMenu> menu_;
    std::unique_ptr<MainWindow> mainWindow_;
    QPointer<SettingsWindow> settingsWindow_;
    TerminationSignals* terminationSignals_;
    bool endingBySignal_ = false;
    bool discardAgreed_ = false;
    bool cleanedUp_ = false;
    bool finished_ = false;
};
