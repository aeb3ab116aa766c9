#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Everything the view model needs from the desktop: modal choosers, the one
// confirmation it asks for, and handing a file or folder to the desktop.
// The application uses QtDesktopServices (dialogs); tests use a scripted fake.
// Every method is called on the GUI thread and blocks until the user answers.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // A modal chooser titled "Add image files" that picks one or more existing
    // image or PDF files (JPEG, PNG, TIFF, BMP, PDF only; no folders). Returns the chosen
    // local file URLs in the order the chooser gives them; empty when cancelled.
    virtual QList<QUrl> chooseImageFiles() = 0;

    // A modal folder chooser titled "Choose the default folder for scans" that
    // picks one existing folder (new folders may be created in it) and starts in
    // startFolder. Returns the chosen folder's local file URL, or nothing when
    // cancelled.
    virtual std::optional<QUrl> chooseFolder(const QUrl& startFolder) = 0;

    // A modal alert reading "Discard all scanned pages?" with two buttons,
    // "Discard" (first, the default) and "Cancel". True only for "Discard".
    virtual bool confirmDiscardAllPages() = 0;

    // A modal alert with the given question ("Paperlark closed before these
    // pages were saved. Restore N page(s) from ...?") and two buttons,
    // "Restore" (first, the default) and "Discard". True only for "Restore".
    virtual bool confirmRestorePages(const QString& question) = 0;

    // A modal alert reading "Discard N unsaved page(s) and quit?" with two
    // buttons, "Discard and Quit" and "Cancel" (the default). True only for
    // "Discard and Quit".
    virtual bool confirmQuitDiscarding(int unsavedPages) = 0;

    // Opens a file or folder URL with the desktop's default handler. The
    // outcome is not reported.
    virtual void openUrl(const QUrl& url) = 0;

protected:
    DesktopServices() = default;
    DesktopServices(const DesktopServices&) = default;
    DesktopServices& operator=(const DesktopServices&) = default;
};
