#pragma once

#include "model/DesktopServices.h"
#include "model/PageHistory.h"
#include "model/PageImport.h"
#include "model/PageList.h"
#include "model/SessionRecovery.h"
#include "model/TextRecognitionQueue.h"
#include "pages/ScannedPage.h"
#include "pages/SessionFolder.h"
#include "scanning/ScannerBrowser.h"
#include "scanning/ScannerDeviceInfo.h"
#include "scanning/ScannerService.h"
#include "settings/AppSettings.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The state of the running application and every user action.
//
// There is one model per process; every window reads it and calls it, on the
// GUI thread only. The windows keep no state of their own: they redraw from
// the model's published fields and call its operations.
//
// Published fields (each has a getter of the same name and a signal
// <field>Changed()). Every assignment emits the field's signal and then
// changed(), also when the new value equals the old one:
//
//   field              type                       start value
//   settings           AppSettings                the settings file's record
//   pages              Pages                      empty
//   selectedPageID     std::optional<QUuid>       none
//   status             QString                    "Ready."
//   busy               bool                       false
//   devices            QList<ScannerDeviceInfo>   empty
//   selectedDeviceID   QString                    settings().lastDeviceId
//   fileName           QString                    the file-name pattern expanded
//                                                 for the moment of start-up
//   emailSheetVisible  bool                       false
//   errorMessage       std::optional<QString>     none
//
// Outcomes reach the user only through `status` (one line, the outcome of the
// latest action) and `errorMessage` (an alert is shown while it holds a
// value; the window sets it back to none when the alert is dismissed).
//
// The settings file is written only by saveCurrentPages()/save(), by
// chooseFolder() once a folder is chosen, by sendEmail() once it has files
// to send, and by cleanUp(); edits made through
// setSettings()/editSettings() stay in memory until then (the settings window
// writes the file itself when it closes).
class ScannerViewModel : public QObject {
    Q_OBJECT

public:
    using Pages = PageList::Pages;

    // Loads the settings file, makes the first file name from the pattern,
    // takes the remembered scanner as the selection and creates this run's
    // session folder (~/.cache/Paperlark/<UUID>, private to the user). Last,
    // creates the scanner service over the system's scanners (SANE), follows
    // its scanner list and starts browsing. The desktop services must not be
    // null.
    explicit ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent = nullptr);
    // The same, with the scanner service finding its scanners through
    // `browser` (tests pass a scripted one). Neither may be null.
    ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                     std::unique_ptr<ScannerBrowser> browser, QObject* parent = nullptr);
    ~ScannerViewModel() override;

    ScannerViewModel(const ScannerViewModel&) = delete;
    ScannerViewModel& operator=(const ScannerViewModel&) = delete;

    // ---- Published fields: getters ------------------------------------------

    // The live settings; the only copy the application edits.
    const AppSettings& settings() const { return settings_; }
    // The page list in display order, which is also the order pages are saved in.
    const Pages& pages() const { return pages_.pages(); }
    // id of the selected page; the page list's selection is bound to it.
    // With several pages selected it is the current one, shown in the preview.
    const std::optional<QUuid>& selectedPageID() const { return pages_.selectedID(); }
    // Every selected page's id (with selectedPageID among them). Changes are
    // published with selectedPageIDChanged().
    const QSet<QUuid>& selectedPageIDs() const { return pages_.selectedIDs(); }
    // The status line under the main window.
    const QString& status() const { return status_; }
    // True while a scan or an SMTP send runs, and while a save waits for
    // text recognition.
    bool busy() const { return busy_; }
    // The scanners found, in the scanner service's order.
    const QList<ScannerDeviceInfo>& devices() const { return devices_; }
    // Identifier of the scanner to scan with; empty means none.
    const QString& selectedDeviceID() const { return selectedDeviceID_; }
    // Base name offered for the next save; the file-name field is bound to it.
    const QString& fileName() const { return fileName_; }
    // The e-mail sheet is shown while this is true.
    bool emailSheetVisible() const { return emailSheetVisible_; }
    // Text of the pending error alert, if any (an empty text still counts).
    const std::optional<QString>& errorMessage() const { return errorMessage_; }

    // ---- Published fields: setters for the windows ---------------------------

    // Replaces the settings in memory (the file is not written).
    void setSettings(AppSettings settings);
    // Edits the settings in place, then notifies once:
    //     model.editSettings([](AppSettings& s) { s.dpi = 600; });
    template <typename Edit> void editSettings(Edit&& edit) {
        std::forward<Edit>(edit)(settings_);
        publish(&ScannerViewModel::settingsChanged);
    }
    // Selects that page alone.
    void setSelectedPageID(std::optional<QUuid> id);
    // Selects several pages; `current` is shown in the preview.
    void setSelectedPages(QSet<QUuid> ids, std::optional<QUuid> current);
    // The Refresh button sets "Looking for scanners...".
    void setStatus(QString status);
    void setSelectedDeviceID(QString id);
    void setFileName(QString name);
    // The e-mail sheet sets this back to false when it closes.
    void setEmailSheetVisible(bool visible);
    // Set by the window when a rotation fails; reset to none when the alert
    // is dismissed.
    void setErrorMessage(std::optional<QString> message);

    // Announces a change made inside a page object (for example after
    // ScannedPage::rotate), so that views redraw thumbnails and the preview.
    // Emits changed() and pagesChanged().
    void notifyChanged();

    // ---- Derived values (computed on every call) ------------------------------

    // The first page whose id is selectedPageID; null when there is none.
    std::shared_ptr<ScannedPage> selectedPage() const;
    // Pages to save and nothing running: enables Save.
    bool canSave() const;
    // Pages or an earlier save to send, and nothing running: enables
    // "Save & email...".
    bool canEmail() const;

    // ---- Not published --------------------------------------------------------

    // The files written by the latest successful save, in page order (one
    // PDF, or one image per page). Replaced by each successful save, left
    // alone by a failed one.
    const QList<QUrl>& lastSavedFiles() const { return lastSavedFiles_; }
    // This run's folder for page cache files and scanner output:
    // ~/.cache/Paperlark/<UUID>. Fixed for the life of the model.
    const QUrl& sessionFolder() const { return session_.url(); }

    // ---- Page list ----------------------------------------------------------

    // "Add image file...": asks for image files and appends them as pages.
    // Files that cannot be read are skipped; the last failure's text goes to
    // errorMessage. The last page added becomes selected; status reads
    // "N page(s) ready." for the whole list. Cancelling changes nothing.
    void importFiles();

    // The same for files chosen elsewhere (the command line, another
    // instance of the program): local file URLs in the order given. An empty
    // list changes nothing.
    void importFiles(const QList<QUrl>& urls);

    // Moves the selected page by `offset` places (-1 up, +1 down); it stays
    // selected. Nothing happens without a selection or beyond either end.
    // With several pages selected they all move, keeping their order; pages
    // at an end stay put.
    void moveSelection(int offset);

    // Deletes the selected page (or pages), then selects the page that
    // followed (or the new last page, or nothing). status: "N page(s) ready."
    // The cache files stay while undo can bring the pages back.
    void deleteSelection();

    // "Clear all" (confirm = true asks "Discard all scanned pages?" first).
    // Removes every page; status: "Pages cleared.". An empty list is left
    // alone without asking. Undo can bring the pages back.
    void clearPages(bool confirm);

    // Turns every selected page by quarter turns clockwise. The first failure
    // goes to errorMessage and stops there; pages already turned stay turned.
    void rotateSelection(int quarterTurns);

    // A drag within the list: the pages with these ids move, in their order,
    // to the gap before row `row` (the page count: to the end).
    void movePages(const QSet<QUuid>& ids, int row);

    // Two-sided stacks from a one-sided feeder, on the selected pages (or the
    // whole list when at most one page is selected): the first half are the
    // fronts, the second half the backs in reverse order; they become F1 B1
    // F2 B2 ... An odd count changes nothing and says why in errorMessage.
    void interleaveSelection();
    // The selected pages (or the whole list) in reverse order.
    void reverseSelection();
    // Selects the pages that look blank, for the user to review; status
    // says how many. Nothing is deleted.
    void selectBlankPages();

    // Delete, clear, rotate, move, drag, interleave and reverse can be undone
    // and redone, many steps deep (added pages stay through both). A save
    // does not end the history; saved files are never touched. A failure
    // (a page's cache file gone) changes nothing and goes to errorMessage.
    void undo();
    void redo();
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }

    // Files dropped on the window: imported like "Add image file..." (same
    // formats, same failure texts), a folder giving the image files in it,
    // but on a worker thread: the pages arrive one by one, status shows
    // "Adding image file N of M..." and at the end "N page(s) ready.", with
    // the last page added selected and the last failure in errorMessage.
    // URLs that are not local files are ignored.
    void addDroppedFiles(const QList<QUrl>& urls);
    // Dropped files are being imported.
    bool importing() const { return import_.running(); }

    // Called when the main window goes away: remembers the selected scanner,
    // writes the settings file, stops an import, deletes every page's cache
    // file (also those undo could have brought back; the history ends) and
    // removes the session folder. The page list itself is kept. With
    // keepUnsavedPages, a session with unsaved pages is kept instead, with
    // its manifest, for the next start to offer back (the folder's lock is
    // let go); only the settings are written.
    void cleanUp(bool keepUnsavedPages = false);

    // ---- Recovery -------------------------------------------------------------
    //
    // The session folder keeps a manifest of the page list, rewritten after
    // every change of the list (pagesChanged() and the page list's own
    // changed()), so that a session that ends without cleaning up can be
    // offered back at the next start.

    // Pages that are not part of the latest successful save of them, or have
    // changed (rotated) since.
    int unsavedPageCount() const;

    // Looks for sessions of earlier runs that ended without cleaning up
    // (in the background), then offers them one after another, newest first:
    // "Paperlark closed before these pages were saved. Restore N page(s) from
    // <date>?". Restore appends the pages in their recorded order after the
    // pages in the list, their files moved into this run's folder; Discard
    // deletes that session's folder. recoveryFinished() follows.
    void offerRecovery();

    // ---- Saving and folders ---------------------------------------------------

    // Writes the pages into the save folder in the chosen format and returns
    // the files written. A PDF carries the text recognised so far when
    // ocrEnabled is set; a page still being recognised goes without (this
    // never waits). Also stores the selected scanner and writes the
    // settings file first. Returns nothing when there are no pages or the save
    // failed; the reason is then in errorMessage. Changes neither status nor
    // busy, and leaves fileName as it is.
    std::optional<QList<QUrl>> saveCurrentPages();

    // The Save button: saveCurrentPages(), then status "Saved a.pdf" (names
    // joined with ", "), opens the first file when openAfterSave is set, and
    // clears the pages and renews fileName when clearPagesAfterSave is set.
    // A searchable PDF (ocrEnabled) first waits for the pages still being
    // recognised, without blocking: busy, status "Recognising text: page N
    // of M...", and the save runs once the last one is done. Pages whose
    // text could not be recognised are saved without; the status then ends
    // ". N page(s) saved without text: <reason>".
    void save();

    // The text of the pages, recognised in the background while ocrEnabled.
    const TextRecognitionQueue& textRecognition() const { return *recognition_; }

    // "Choose...": asks for the default save folder and, when one is chosen,
    // stores it and writes the settings file. status is never changed.
    void chooseFolder();

    // "Open folder": creates the save folder when missing and opens it in the
    // file manager. Nothing is reported.
    void openSaveFolder();

    // ---- Scanning ---------------------------------------------------------------
    //
    // Every scanner list the service publishes arrives here asynchronously on
    // the GUI thread (the current one first, right after start-up): `devices`
    // takes it; the selected scanner stays if it is still listed, otherwise
    // the first one (or none) is selected; status reads "N scanner(s) found.
    // Ready." or "No scanner found yet. Check it is switched on and
    // connected.". During a scan every page received shows "Scanned page N...".

    // The one scanner service, for the life of the model. The Refresh button
    // calls scanner().stopBrowsing(), scanner().startBrowsing() and then
    // setStatus("Looking for scanners..."), or simply refreshScanners().
    ScannerService& scanner() const { return *scanner_; }

    // Refresh: browses afresh and sets status "Looking for scanners..."; the
    // next scanner list replaces it. When no scanner can be looked for at all
    // (the service says why), an empty list shows that reason instead.
    void refreshScanners();

    // True from the moment a scan is accepted until its last page is in the
    // list and its outcome is reported (published; the Scan button becomes
    // "Cancel scan").
    bool scanning() const { return scan_ != nullptr; }

    // The Scan button. Without a selected scanner: errorMessage "Select a
    // scanner first. Press Refresh if the list is empty." and nothing else.
    // Otherwise asks the service for one scan with the selected scanner and
    // the settings' source, colour, paper and dpi into the session folder;
    // busy and status "Scanning..." until it ends. Each file delivered
    // becomes a page as it arrives, on a background thread, and is appended
    // in arrival order (its resolution falling back to the dpi in force when
    // the scan started; the delivered file is deleted once copied), the last
    // one selected; a file that cannot be read leaves its failure in
    // errorMessage and the others go on. busy stays true until the last page
    // is in the list; then status "Scanned N page(s). M page(s) ready." or
    // "Nothing was scanned."; a cancelled scan "Scan cancelled. N page(s)
    // kept."; a failure goes to errorMessage with status "Scan failed.", or,
    // after N pages, "Scanned N page(s), then the scan stopped: <failure>".
    // Does not look at busy itself.
    void scan();

    // Cancel scan (the Scan button during a scan, or Escape): the scan stops
    // after the page being read; every complete page is kept.
    void cancelScan();

    // ---- E-mail -----------------------------------------------------------------

    // "Save & email...": opens the e-mail sheet (emailSheetVisible = true)
    // when there are pages or files from an earlier save; otherwise
    // errorMessage "Scan or add a page before emailing." and the sheet stays
    // closed. Nothing is saved here, and the earlier files are not checked.
    void beginEmail();

    // The sheet's Send, with the texts as typed. With pages, saves them first
    // (a PDF once the text of pages still being recognised is there, as with
    // save(); then saveCurrentPages(); a failed save stops here with its error) and sends
    // exactly the files written; without pages, sends the earlier files that
    // still exist. With nothing to attach: errorMessage "Scan or add a page
    // before emailing.". Otherwise the four values become the settings' e-mail
    // defaults and the settings file is written, then:
    //  - smtp: busy, status "Sending email..."; the transfer runs in the
    //    background and this returns at once. Success: status "Email sent to
    //    <recipients>." and the pages are cleared (fileName renewed) when
    //    clearPagesAfterSave is set. Failure: status "Email failed.",
    //    errorMessage "<reason>\n\nThe scan was still saved to <folder>.";
    //    the pages stay. busy is false again in both cases.
    //  - mailClient: the desktop mail client gets a draft; status is the
    //    service's text, then the same clearing as above. busy is untouched.
    void sendEmail(const QString& recipients, const QString& subject, const QString& body,
                   EmailMethod method);

Q_SIGNALS:
    void settingsChanged();
    void pagesChanged();
    void selectedPageIDChanged();
    void statusChanged();
    void busyChanged();
    void devicesChanged();
    void selectedDeviceIDChanged();
    void fileNameChanged();
    void emailSheetVisibleChanged();
    void errorMessageChanged();
    // canUndo() or canRedo() may have changed.
    void historyChanged();
    void scanningChanged();
    // Emitted after every change of any published field, and by notifyChanged().
    void changed();
    // offerRecovery() has offered everything it found.
    void recoveryFinished();

private:
    // Assigns a published field and emits its signal and changed().
    template <typename T, typename U>
    void assign(T& field, U&& value, void (ScannerViewModel::*signal)()) {
        field = std::forward<U>(value);
        publish(signal);
    }
    void publish(void (ScannerViewModel::*signal)());

    void setBusy(bool busy);
    void setDevices(QList<ScannerDeviceInfo> devices);

    // Turns files into pages, appended in order, with their cache copies in
    // the session folder. Unreadable files are skipped; the last failure's
    // description goes to errorMessage. Selects the last page added.
    void addPages(const QList<QUrl>& urls, std::int64_t dpi, bool removingSource);

    // A scanner list from the service.
    void deliverDevices(const QList<ScannerDeviceInfo>& devices);
    void chooseDevice(QString id);
    // The scanner to store as lastDeviceId.
    QString deviceToRemember() const;

    // One scan's pages on their way into the list (ScannerViewModelScanning.cpp).
    struct ScanImport;
    // Starts turning a delivered file into a page in the background, unless
    // it is already on its way.
    void importScannedPage(const std::shared_ptr<ScanImport>& import, const QUrl& file);
    // A page made in the background (or its failure), on the GUI thread.
    void
    scannedPageImported(const std::shared_ptr<ScanImport>& import,
                        const Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>& made);
    // The service's outcome of the scan, on the GUI thread.
    void scanFinished(const std::shared_ptr<ScanImport>& import,
                      const ScannerService::ScanResult& result);
    // Reports the scan once the service is done and every page is in.
    void completeScanWhenImported(const std::shared_ptr<ScanImport>& import);

    // After a sent e-mail: clears the pages and renews fileName when
    // clearPagesAfterSave is set and there are pages (not for earlier files).
    void finishEmail();
    // Applies the outcome of a background SMTP send on the GUI thread.
    void smtpSendFinished(const std::optional<QString>& failure, const QString& recipients,
                          const QString& savedFolder);

    // Runs a change of the page list as one step undo can take back;
    // `change` returns whether it changed anything.
    template <typename Change> bool undoable(Change&& change);
    // Discards the cache files of pages that neither the list nor the
    // history holds any more.
    void releaseDroppedPages();
    // Publishes a change of the pages and the selection.
    void publishPages();
    // Goes one step back (or forth); false when there was nowhere to go.
    void stepHistory(bool back);
    // Brings the list to a snapshot's state, rotations included. On failure
    // nothing changes and the reason is returned.
    std::optional<QString> restore(const PageHistory::State& state);
    // The selected pages when there are several, else the whole list.
    QSet<QUuid> pagesToArrange() const;
    // One dropped file is done; all are done.
    void droppedFileDone(const PageImport::Outcome& outcome);
    void droppedFilesDone();

    // The current page count as "N page(s) ready."
    QString pagesReadyText() const;
    // The pattern expanded for now.
    QString freshFileName() const;
    // The rest of save() once the text it waits for is there.
    void finishSave();
    // When a PDF is to be saved and pages are still being recognised: busy,
    // status "Recognising text: page N of M...", and `then` runs once every
    // page has its text (or failed). False, with nothing done, when there is
    // nothing to wait for.
    bool waitForText(std::function<void()> then);
    // While a save waits for text: the progress, or the save once done.
    void continueSaveAfterText();
    // A setting's number as an int, clamped to the int range.
    static int toInt(std::int64_t value);

    // Keeps the session folder's manifest in step with the page list.
    void followPagesForRecovery();
    // Remembers the pages just saved, as they are now.
    void rememberSavedPages();
    // Offers the sessions found, one after another.
    void offerSessions(std::vector<SessionRecovery::Session>& sessions);

    std::shared_ptr<DesktopServices> desktop_;

    AppSettings settings_;
    // The pages and the selection (published as pages and selectedPageID).
    PageList pages_;
    // Text of the pages, following the list and the OCR settings.
    std::unique_ptr<TextRecognitionQueue> recognition_;
    // Set while save() waits for text recognition.
    QMetaObject::Connection waitingForText_;
    QMetaObject::Connection waitingForTextList_;
    std::function<void()> afterText_;
    QString status_;
    bool busy_ = false;
    QList<ScannerDeviceInfo> devices_;
    QString selectedDeviceID_;
    // lastDeviceId until the scanner service's first complete listing, so
    // that the remembered scanner is chosen when it turns up; nothing after
    // it, or once the user chooses a scanner.
    std::optional<QString> rememberedDeviceID_;
    QString fileName_;
    bool emailSheetVisible_ = false;
    std::optional<QString> errorMessage_;

    // ~/.cache/Paperlark/<UUID>, under the cache folder as it was when the
    // model was created.
    SessionFolder session_;
    QList<QUrl> lastSavedFiles_;
    // Page id -> the page's revision when it was last saved.
    QHash<QUuid, int> savedRevisions_;
    bool recovering_ = false;

    // The accepted scan in progress, until it is reported.
    std::shared_ptr<ScanImport> scan_;
    // Makes pages of scanned files, one at a time, so they arrive in order.
    std::unique_ptr<QThreadPool> importer_;

    PageHistory history_;
    // Dropped files on their way into the list.
    PageImport import_;
    std::shared_ptr<ScannedPage> lastDropped_;
    std::optional<QString> lastDropFailure_;

    // Declared last so that it goes first: no scanner callback can reach a
    // half-destroyed model.
    std::unique_ptr<ScannerService> scanner_;
};
