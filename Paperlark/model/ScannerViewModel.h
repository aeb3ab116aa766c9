#pragma once

#include "model/DesktopServices.h"
#include "model/EmailController.h"
#include "model/PageDocument.h"
#include "model/PageEditor.h"
#include "model/PageImporter.h"
#include "model/SaveController.h"
#include "model/ScanController.h"
#include "model/SessionKeeper.h"
#include "model/SettingsController.h"
#include "model/TextRecognitionQueue.h"
#include "scanning/ScannerBrowser.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>

// The state of the running application and every user action: the one
// object the windows bind to. It holds no state of its own beyond the two
// lines of feedback; it wires together the parts that do, and forwards:
//
//   part                  owns
//   SettingsController    the live settings, the settings file, the SMTP
//                         password in the keyring, the SMTP test message
//   PageDocument          pages, selection, undo/redo, what "unsaved" means
//   PageImporter          every way a page arrives (files, folders, scans,
//                         restored sessions), off the GUI thread
//   PageEditor            straightening, turning upright and cropping pages
//   SessionKeeper         the session folder, its manifest, recovery, the end
//   TextRecognitionQueue  the pages' text, recognised in the background
//   ScanController        scanners, the selected scanner, scanning
//   SaveController        fileName, Save (after text recognition), folders
//   EmailController       the e-mail sheet and sending
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
//   emailSize          QString                    empty (see EmailController::
//                                                 attachmentSize; with it
//                                                 emailSizeOverCommonLimit())
//   errorMessage       std::optional<QString>     none
//
// Outcomes reach the user only through `status` (one line, the outcome of the
// latest action; every part reports into it through setStatus()) and
// `errorMessage` (an alert is shown while it holds a value; the window sets
// it back to none when the alert is dismissed).
//
// The settings file is written by saveCurrentPages(), by chooseFolder() once
// a folder is chosen, by sendEmail() once it has files to send, by
// saveSettings() (the settings window, as it closes) and by cleanUp(); edits
// made through setSettings()/editSettings() stay in memory until then.
// Used on the GUI thread only.
class ScannerViewModel : public QObject {
    Q_OBJECT

public:
    using Pages = PageList::Pages;

    // Loads the settings file, makes the first file name from the pattern,
    // takes the remembered scanner as the selection and creates this run's
    // session folder (~/.cache/Paperlark/<UUID>, private to the user). Last,
    // the scanner service over the system's scanners (SANE) starts
    // browsing. `desktop` must not be null.
    explicit ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent = nullptr);
    // The same, finding scanners through `browser` (tests pass a scripted
    // one). Neither may be null.
    ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                     std::unique_ptr<ScannerBrowser> browser, QObject* parent = nullptr);
    ~ScannerViewModel() override;

    ScannerViewModel(const ScannerViewModel&) = delete;
    ScannerViewModel& operator=(const ScannerViewModel&) = delete;

    // ---- Published fields ------------------------------------------------------

    const AppSettings& settings() const { return settings_.settings(); }
    // Display order, which is also save order.
    const Pages& pages() const { return document_.pages(); }
    // The current page among the selected ones, shown in the preview.
    const std::optional<QUuid>& selectedPageID() const { return document_.selectedID(); }
    // Every selected page's id; published with selectedPageIDChanged().
    const QSet<QUuid>& selectedPageIDs() const { return document_.selectedIDs(); }
    const QString& status() const { return status_; }
    // While a scan, an SMTP send or a page edit (straighten, turn upright,
    // crop) runs, and while a save waits for text recognition.
    bool busy() const {
        return scans_->busy() || saving_->busy() || email_->busy() || editor_->busy();
    }
    const QList<ScannerDeviceInfo>& devices() const { return scans_->devices(); }
    // Empty means none.
    const QString& selectedDeviceID() const { return scans_->selectedDeviceID(); }
    const QString& fileName() const { return saving_->fileName(); }
    bool emailSheetVisible() const { return email_->sheetVisible(); }
    // "N file(s), X MB" while the e-mail sheet is shown, once known.
    const QString& emailSize() const { return email_->attachmentSize(); }
    // Published with emailSizeChanged().
    bool emailSizeOverCommonLimit() const { return email_->overCommonLimit(); }
    // An empty text still counts.
    const std::optional<QString>& errorMessage() const { return errorMessage_; }

    // Replaces (edits in place) the settings in memory; the file is not written:
    //     model.editSettings([](AppSettings& s) { s.dpi = 600; });
    void setSettings(AppSettings settings) { settings_.set(std::move(settings)); }
    template <typename Edit> void editSettings(Edit&& edit) {
        settings_.edit(std::forward<Edit>(edit));
    }
    void setSelectedPageID(std::optional<QUuid> id) { document_.setSelectedID(std::move(id)); }
    void setSelectedPages(QSet<QUuid> ids, std::optional<QUuid> current) {
        document_.setSelection(std::move(ids), std::move(current));
    }
    // The one writer of `status`.
    void setStatus(QString status);
    void setSelectedDeviceID(QString id) { scans_->setSelectedDeviceID(std::move(id)); }
    void setFileName(QString name) { saving_->setFileName(std::move(name)); }
    void setEmailSheetVisible(bool visible) { email_->setSheetVisible(visible); }
    // The one writer of `errorMessage`; the window also sets it when a
    // rotation fails, and resets it when the alert is dismissed.
    void setErrorMessage(std::optional<QString> message);

    // A change made inside a page object (ScannedPage::rotate): views
    // redraw. Emits pagesChanged() and changed().
    void notifyChanged() { document_.pagesAltered(); }

    // ---- Derived values ------------------------------------------------------------

    std::shared_ptr<ScannedPage> selectedPage() const { return document_.selectedPage(); }
    // Pages to save and nothing running (no files being added either, so
    // that a half-added PDF is not saved): enables Save.
    bool canSave() const { return !document_.isEmpty() && !busy() && !addingFiles(); }
    // Pages or an earlier save to send, and nothing running.
    bool canEmail() const { return email_->hasSomethingToSend() && !busy() && !addingFiles(); }

    // ---- Not published ---------------------------------------------------------------

    // The files of the latest successful save, in page order.
    const QList<QUrl>& lastSavedFiles() const { return saving_->lastSavedFiles(); }
    // ~/.cache/Paperlark/<UUID>, fixed for the life of the model.
    const QUrl& sessionFolder() const { return session_->url(); }
    // Waits until the session's manifest is on disk as the list is now.
    bool waitForSessionRecord() const { return session_->waitForRecords(); }
    const TextRecognitionQueue& textRecognition() const { return *recognition_; }
    // The one scanner service (Refresh may call stopBrowsing() and
    // startBrowsing() on it, then set "Looking for scanners...").
    ScannerService& scanner() const { return scans_->scanner(); }

    // ---- Pages (PageImporter, PageDocument) --------------------------------------

    // "Add image file...": asks for image or PDF files and adds them as
    // addDroppedFiles() does. Cancelling changes nothing.
    void importFiles();
    // Files and folders chosen elsewhere (dropped, the command line, another
    // instance of the program), in the order given; each folder gives the
    // image and PDF files in it, each PDF all its pages in order. Made into
    // pages off the GUI thread, one by one: status "Adding image file N of
    // M...", within a PDF "Adding page N of M..."; at the end the last page
    // added is selected, status "N page(s) ready." and every file that gave
    // no page is named in one alert with its reason (one file's own failure
    // text when only one failed). Nothing happens without a local file.
    void importFiles(const QList<QUrl>& urls);
    void addDroppedFiles(const QList<QUrl>& urls) { importFiles(urls); }
    // Pages are being made of added files or scanned files, or restored.
    bool importing() const { return importer_->running(); }
    // Files given to importFiles() are being added (announced by
    // addingFilesChanged()); Save and e-mail wait for them.
    bool addingFiles() const { return importer_->addingFiles(); }
    // Stops adding files after the page under way; the pages already in
    // stay. Status "Adding the PDF a.pdf was cancelled. N page(s) ready."
    // (for image files "Adding files was cancelled. ..."); no alert for it.
    void cancelAddingFiles() { importer_->stopAddingFiles(); }

    // The arrangements: each one step of the history (see PageDocument).
    void moveSelection(int offset) { document_.moveSelection(offset); }
    // status "N page(s) ready."
    void deleteSelection() { document_.deleteSelection(); }
    // "Clear all" (confirm = true asks "Discard all scanned pages?" first);
    // status "Pages cleared.". An empty list is left alone without asking.
    void clearPages(bool confirm);
    // The first failure goes to errorMessage; pages already turned stay.
    void rotateSelection(int quarterTurns) { document_.rotateSelection(quarterTurns); }
    // A drag: the pages move, in their order, to the gap before `row`.
    void movePages(const QSet<QUuid>& ids, int row) { document_.movePages(ids, row); }
    void interleaveSelection() { document_.interleaveSelection(); }
    void reverseSelection() { document_.reverseSelection(); }
    void selectBlankPages() { document_.selectBlankPages(); }
    // Pixel edits, each one step of the history, off the GUI thread and
    // busy while they run (see PageEditor): "Straighten" and "Turn upright"
    // on the selected pages, "Crop" on page `id` to `rect` (its pixels as it
    // shows; it keeps its resolution). Refused while busy.
    void straightenSelection() {
        if (!busy()) {
            editor_->straightenSelection();
        }
    }
    void turnSelectionUpright() {
        if (!busy()) {
            editor_->turnSelectionUpright();
        }
    }
    void cropPage(const QUuid& id, const QRect& rect) {
        if (!busy()) {
            editor_->crop(id, rect);
        }
    }
    // Where the crop frame of page `id` starts: cropFrameFound() follows.
    void findCropFrame(const QUuid& id) { editor_->findCropFrame(id); }
    void undo() { document_.undo(); }
    void redo() { document_.redo(); }
    bool canUndo() const { return document_.canUndo(); }
    bool canRedo() const { return document_.canRedo(); }

    // ---- Session (SessionKeeper) -------------------------------------------------------

    // Pages not part of the latest save of them, or turned since.
    int unsavedPageCount() const { return document_.unsavedPageCount(); }
    // Offers back sessions of earlier runs that ended without cleaning up;
    // recoveryFinished() follows (see SessionKeeper::offerRecovery()).
    void offerRecovery() { session_->offerRecovery(); }
    // The main window goes away: remembers the selected scanner, writes the
    // settings file, stops the import of added files and ends the session
    // (see SessionKeeper::end()). The page list itself is kept.
    void cleanUp(bool keepUnsavedPages = false);

    // ---- Saving (SaveController) -------------------------------------------------------

    // Stores the selected scanner and writes the settings file, then writes
    // the pages into the save folder (a PDF with the text recognised so far
    // when ocrEnabled; this never waits). Nothing when there are no pages or
    // the save failed; the reason is then in errorMessage.
    std::optional<QList<QUrl>> saveCurrentPages() { return saving_->saveCurrentPages(); }
    // The Save button: a searchable PDF first waits, busy, for the pages
    // still being recognised ("Recognising text: page N of M..."); then
    // saveCurrentPages() and status "Saved a.pdf" (names joined with ", ";
    // ". N page(s) saved without text: <reason>" when some had none), the
    // first file opened with openAfterSave, the pages cleared and fileName
    // renewed with clearPagesAfterSave.
    void save() { saving_->save(); }
    // "Choose...": stores the chosen folder and writes the settings file.
    void chooseFolder() { saving_->chooseFolder(); }
    // "Open folder": creates the folder when missing and opens it.
    void openSaveFolder() { saving_->openSaveFolder(); }

    // ---- Scanning (ScanController) -----------------------------------------------------

    // Refresh: browses afresh; status "Looking for scanners...".
    void refreshScanners() { scans_->refresh(); }
    // From the moment a scan is accepted until its last page is in the list
    // and its outcome is reported (the Scan button becomes "Cancel scan").
    bool scanning() const { return scans_->scanning(); }
    // The Scan button. Without a selected scanner: errorMessage "Select a
    // scanner first. Press Refresh if the list is empty." Otherwise busy and
    // "Scanning..."; each page file becomes a page as it arrives (its
    // resolution falling back to the dpi when the scan started), "Scanned
    // page N..." on the way; once the last page is in: "Scanned N page(s).
    // M page(s) ready.", "Nothing was scanned.", "Scan cancelled. N page(s)
    // kept.", or the failure in errorMessage with "Scan failed." (after N
    // pages: "Scanned N page(s), then the scan stopped: <failure>"). Does
    // not look at busy itself.
    void scan() { scans_->scan(); }
    // Stops the scan after the page being read; complete pages are kept.
    void cancelScan() { scans_->cancel(); }

    // ---- E-mail (EmailController) ------------------------------------------------------

    // Opens the e-mail sheet when there are pages or earlier files;
    // otherwise errorMessage "Scan or add a page before emailing.".
    void beginEmail() { email_->begin(); }
    // The sheet's Send: saves the pages first (as save() waits for text),
    // or takes the earlier files that still exist; stores the four values
    // as the settings' e-mail defaults and writes the file; then smtp: busy,
    // "Sending email...", in the background, "Email sent to <recipients>."
    // or "Email failed." with "<reason>\n\nThe scan was still saved to
    // <folder>."; mailClient: the service's text. A sent e-mail of the
    // pages clears them (and renews fileName) with clearPagesAfterSave.
    void sendEmail(const QString& recipients, const QString& subject, const QString& body,
                   EmailMethod method) {
        email_->send(recipients, subject, body, method);
    }

    // ---- Settings window (SettingsController) ------------------------------------------

    // Writes the settings file.
    void saveSettings() const { settings_.save(); }
    // The keyring's password of the SMTP user name as it is now.
    QString smtpPassword() const { return settings_.smtpPassword(); }
    // Stores (an empty password removes) it for the user name as it is now.
    void setSmtpPassword(const QString& password) const { settings_.setSmtpPassword(password); }
    // "Send test email": testEmailReported() follows with "Sending..." and
    // the outcome, or at once with "Enter a recipient or from address first.".
    void sendTestEmail() { settings_.sendTestMessage(); }

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
    void emailSizeChanged();
    void errorMessageChanged();
    // canUndo() or canRedo() may have changed.
    void historyChanged();
    void scanningChanged();
    void addingFilesChanged();
    // After every change of any published field, and by notifyChanged().
    void changed();
    // offerRecovery() has offered everything it found.
    void recoveryFinished();
    // The crop frame's starting rectangle for page `id` (findCropFrame()).
    void cropFrameFound(const QUuid& id, const QRect& frame);
    // A line about the latest SMTP test message.
    void testEmailReported(const QString& text);

private:
    // Emits the field's signal, then changed().
    void publish(void (ScannerViewModel::*signal)());
    // A part's signal publishes the field's.
    template <typename Part>
    void forward(const Part* part, void (Part::*from)(), void (ScannerViewModel::*to)()) {
        connect(part, from, this, [this, to] { publish(to); });
    }
    // A part's reports reach `status` and `errorMessage`.
    template <typename Part> void hearFrom(const Part* part) {
        connect(part, &Part::statusReported, this, &ScannerViewModel::setStatus);
        connect(part, &Part::failed, this,
                [this](const QString& message) { setErrorMessage(message); });
    }

    std::shared_ptr<DesktopServices> desktop_;
    QString status_;
    std::optional<QString> errorMessage_;

    // Declared in the order they depend on each other; the scanners last,
    // so that they go first and no scanner callback reaches a part that is
    // going.
    SettingsController settings_;
    PageDocument document_;
    std::unique_ptr<PageImporter> importer_;
    std::unique_ptr<PageEditor> editor_;
    std::unique_ptr<SessionKeeper> session_;
    std::unique_ptr<TextRecognitionQueue> recognition_;
    std::unique_ptr<SaveController> saving_;
    std::unique_ptr<EmailController> email_;
    std::unique_ptr<ScanController> scans_;
};
