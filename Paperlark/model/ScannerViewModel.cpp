#include "model/ScannerViewModel.h"
#include "settings/HorizontalSpace.h"

#include "email/EmailService.h"
#include "pages/DocumentSaver.h"
#include "scanning/ScanRequest.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMetaObject>
#include <QPointer>
#include <QStandardPaths>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <climits>

#include <unistd.h>

namespace {

const QString readyStatus = QStringLiteral("Ready.");
const QString pagesClearedStatus = QStringLiteral("Pages cleared.");
const QString nothingToSaveMessage =
    QStringLiteral("There is nothing to save yet. Scan a page first.");
const QString selectScannerMessage =
    QStringLiteral("Select a scanner first. Press Refresh if the list is empty.");
const QString nothingToEmailMessage = QStringLiteral("Scan or add a page before emailing.");

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

int toInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// The per-user cache folder of the application: ~/.cache/Paperlark.
QString applicationCacheFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty()) {
        base = QDir(QDir::homePath()).filePath(QStringLiteral(".cache"));
    }
    return QDir::cleanPath(QDir(base).filePath(QStringLiteral("Paperlark")));
}

} // namespace

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent)
    : ScannerViewModel(std::move(desktop), std::make_unique<WorkerScannerBrowser>(), parent) {}

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                                   std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), desktop_(std::move(desktop)), status_(readyStatus) {
    Q_ASSERT(desktop_);
    Q_ASSERT(browser);

    settings_ = AppSettings::load();
    fileName_ = freshFileName();
    selectedDeviceID_ = settings_.lastDeviceId;

    cacheRoot_ = applicationCacheFolder();
    sessionID_ = QUuid::createUuid();
    sessionFolder_ = QUrl::fromLocalFile(
        QDir(cacheRoot_).filePath(sessionID_.toString(QUuid::WithoutBraces).toUpper()));
    createSessionFolder();

    // Last: the scanner service. Its lists reach the model asynchronously,
    // the current one first; the connections and the page callback go away
    // with the model.
    scanner_ = std::make_unique<ScannerService>(std::move(browser));
    connect(scanner_.get(), &ScannerService::devicesChanged, this,
            &ScannerViewModel::deliverDevices);
    QMetaObject::invokeMethod(
        this, [this, current = scanner_->devices()] { deliverDevices(current); },
        Qt::QueuedConnection);
    scanner_->setOnPageScanned([self = QPointer<ScannerViewModel>(this)](int count) {
        if (self) {
            self->setStatus(QStringLiteral("Scanned page ") + QString::number(count) +
                            QStringLiteral("..."));
        }
    });
    scanner_->startBrowsing();
}

ScannerViewModel::~ScannerViewModel() = default;

// ---- Published fields ---------------------------------------------------------

void ScannerViewModel::publish(void (ScannerViewModel::*signal)()) {
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}

void ScannerViewModel::setSettings(AppSettings settings) {
    assign(settings_, std::move(settings), &ScannerViewModel::settingsChanged);
}

void ScannerViewModel::setPages(Pages pages) {
    assign(pages_, std::move(pages), &ScannerViewModel::pagesChanged);
}

void ScannerViewModel::setSelectedPageID(std::optional<QUuid> id) {
    assign(selectedPageID_, std::move(id), &ScannerViewModel::selectedPageIDChanged);
}

void ScannerViewModel::setStatus(QString status) {
    assign(status_, std::move(status), &ScannerViewModel::statusChanged);
}

void ScannerViewModel::setBusy(bool busy) {
    assign(busy_, busy, &ScannerViewModel::busyChanged);
}

void ScannerViewModel::setDevices(QList<ScannerDeviceInfo> devices) {
    assign(devices_, std::move(devices), &ScannerViewModel::devicesChanged);
}

void ScannerViewModel::setSelectedDeviceID(QString id) {
    assign(selectedDeviceID_, std::move(id), &ScannerViewModel::selectedDeviceIDChanged);
}

void ScannerViewModel::setFileName(QString name) {
    assign(fileName_, std::move(name), &ScannerViewModel::fileNameChanged);
}

void ScannerViewModel::setEmailSheetVisible(bool visible) {
    assign(emailSheetVisible_, visible, &ScannerViewModel::emailSheetVisibleChanged);
}

void ScannerViewModel::setErrorMessage(std::optional<QString> message) {
    assign(errorMessage_, std::move(message), &ScannerViewModel::errorMessageChanged);
}

void ScannerViewModel::notifyChanged() {
    publish(&ScannerViewModel::pagesChanged);
}

// ---- Derived values -------------------------------------------------------------

std::shared_ptr<ScannedPage> ScannerViewModel::selectedPage() const {
    const qsizetype index = selectedIndex();
    return index < 0 ? nullptr : pages_[index];
}

bool ScannerViewModel::canSave() const {
    return !pages_.isEmpty() && !busy_;
}

bool ScannerViewModel::canEmail() const {
    return (!pages_.isEmpty() || !lastSavedFiles_.isEmpty()) && !busy_;
}

qsizetype ScannerViewModel::selectedIndex() const {
    if (!selectedPageID_) {
        return -1;
    }
    const auto found = std::find_if(pages_.cbegin(), pages_.cend(), [this](const auto& page) {
        return page->id() == *selectedPageID_;
    });
    return found == pages_.cend() ? -1 : std::distance(pages_.cbegin(), found);
}

QString ScannerViewModel::pagesReadyText() const {
    return QString::number(pages_.size()) + QStringLiteral(" page(s) ready.");
}

QString ScannerViewModel::freshFileName() const {
    return DocumentSaver::buildBaseName(settings_.fileNamePattern, QDateTime::currentDateTime());
}

// ---- Page list ------------------------------------------------------------------

void ScannerViewModel::importFiles() {
    const QList<QUrl> urls = desktop_->chooseImageFiles();
    if (urls.isEmpty()) {
        return;
    }
    addPages(urls, settings_.dpi, false);
    setStatus(pagesReadyText());
}

void ScannerViewModel::addPages(const QList<QUrl>& urls, std::int64_t dpi, bool removingSource) {
    if (urls.isEmpty()) {
        return;
    }
    // The folder is gone after cleanUp(); bring it back private to the user
    // before pages are cached in it again.
    createSessionFolder();

    Pages pages = pages_;
    std::optional<QString> lastFailure;
    bool added = false;
    for (const QUrl& url : urls) {
        auto made = ScannedPage::make(url, sessionFolder_, toInt(dpi), removingSource);
        if (made) {
            pages.append(std::move(made).value());
            added = true;
        } else {
            lastFailure = made.failure().description();
        }
    }
    if (added) {
        setPages(std::move(pages));
        setSelectedPageID(pages_.last()->id());
    }
    if (lastFailure) {
        setErrorMessage(std::move(lastFailure));
    }
}

void ScannerViewModel::moveSelection(int offset) {
    const qsizetype index = selectedIndex();
    if (index < 0) {
        return;
    }
    const qsizetype target = index + offset;
    if (target < 0 || target >= pages_.size()) {
        return;
    }
    Pages pages = pages_;
    pages.swapItemsAt(index, target);
    setPages(std::move(pages));
    setSelectedPageID(pages_[target]->id());
}

void ScannerViewModel::deleteSelection() {
    const qsizetype index = selectedIndex();
    if (index < 0) {
        return;
    }
    pages_[index]->discard();
    Pages pages = pages_;
    pages.removeAt(index);
    setPages(std::move(pages));

    if (index < pages_.size()) {
        setSelectedPageID(pages_[index]->id());
    } else if (!pages_.isEmpty()) {
        setSelectedPageID(pages_.last()->id());
    } else {
        setSelectedPageID(std::nullopt);
    }
    setStatus(pagesReadyText());
}

void ScannerViewModel::clearPages(bool confirm) {
    if (pages_.isEmpty()) {
        return;
    }
    if (confirm && !desktop_->confirmDiscardAllPages()) {
        return;
    }
    for (const auto& page : std::as_const(pages_)) {
        page->discard();
    }
    setPages({});
    setSelectedPageID(std::nullopt);
    setStatus(pagesClearedStatus);
}

void ScannerViewModel::cleanUp() {
    editSettings([this](AppSettings& s) { s.lastDeviceId = selectedDeviceID_; });
    settings_.save();
    for (const auto& page : std::as_const(pages_)) {
        page->discard();
    }
    removeSessionFolder();
}

// ---- Session folder ---------------------------------------------------------------

void ScannerViewModel::createSessionFolder() const {
    // Failures are left alone: making a page creates the folder again.
    QDir().mkpath(QFileInfo(cacheRoot_).path());
    if (!QFileInfo::exists(cacheRoot_)) {
        QDir().mkdir(cacheRoot_, ownerOnly);
    }
    const QString folder = sessionFolder_.toLocalFile();
    if (!QFileInfo::exists(folder)) {
        QDir().mkdir(folder, ownerOnly);
    }
}

void ScannerViewModel::removeSessionFolder() const {
    // Removal is recursive, so it must never reach anything but the folder
    // this model created: <cache>/Paperlark/<our UUID>, a real folder (not a
    // link to somewhere else) owned by this user, inside the cache folder.
    if (sessionID_.isNull() || cacheRoot_.isEmpty() || !QDir::isAbsolutePath(cacheRoot_)) {
        return;
    }
    const QString expected =
        QDir::cleanPath(cacheRoot_ + u'/' + sessionID_.toString(QUuid::WithoutBraces).toUpper());
    const QString path = QDir::cleanPath(sessionFolder_.toLocalFile());
    if (path != expected) {
        return;
    }
    const QFileInfo folder(path);
    if (folder.isSymLink() || !folder.isDir() || folder.ownerId() != ::getuid()) {
        return;
    }
    const QString parent = QFileInfo(folder.absolutePath()).canonicalFilePath();
    const QString root = QFileInfo(cacheRoot_).canonicalFilePath();
    if (parent.isEmpty() || parent != root) {
        return;
    }
    if (QFileInfo(folder.canonicalFilePath()).absolutePath() != root) {
        return;
    }
    QDir(path).removeRecursively();
}

// ---- Scanning -----------------------------------------------------------------------

void ScannerViewModel::deliverDevices(const QList<ScannerDeviceInfo>& devices) {
    setDevices(devices);
    const bool stillListed =
        !selectedDeviceID_.isEmpty() &&
        std::any_of(devices.cbegin(), devices.cend(), [this](const ScannerDeviceInfo& device) {
            return device.id == selectedDeviceID_;
        });
    if (!stillListed) {
        setSelectedDeviceID(devices.isEmpty() ? QString() : devices.first().id);
    }
    setStatus(devices.isEmpty()
                  ? QStringLiteral("No scanner found yet. Check it is switched on and connected.")
                  : QString::number(devices.size()) + QStringLiteral(" scanner(s) found. Ready."));
}

void ScannerViewModel::refreshScanners() {
    scanner_->stopBrowsing();
    scanner_->startBrowsing();
    setStatus(QStringLiteral("Looking for scanners..."));
}

void ScannerViewModel::scan() {
    if (selectedDeviceID_.isEmpty()) {
        setErrorMessage(selectScannerMessage);
        return;
    }
    const ScanRequest request{selectedDeviceID_, settings_.source, settings_.colour,
                              settings_.paper, toInt(settings_.dpi)};
    setBusy(true);
    setStatus(QStringLiteral("Scanning..."));
    // Pages of this scan fall back to the resolution in force now, whatever
    // the setting says by the time they arrive.
    const std::int64_t fallbackDpi = settings_.dpi;
    // The scanner writes into the session folder; after a clean-up it has to
    // be made again, private to the user, before the service creates it.
    createSessionFolder();
    scanner_->scan(request, sessionFolder_,
                   [self = QPointer<ScannerViewModel>(this),
                    fallbackDpi](const ScannerService::ScanResult& result) {
                       // Whichever thread this comes on, the model is only
                       // touched on the GUI thread, and only if it still exists.
                       QMetaObject::invokeMethod(
                           QCoreApplication::instance(),
                           [self, fallbackDpi, result] {
                               if (self) {
                                   self->scanFinished(result, fallbackDpi);
                               }
                           },
                           Qt::QueuedConnection);
                   });
}

void ScannerViewModel::scanFinished(const ScannerService::ScanResult& result,
                                    std::int64_t fallbackDpi) {
    setBusy(false);
    if (!result) {
        // Pages that arrived before the scan broke off are kept.
        addPages(result.failure().deliveredPages(), fallbackDpi, true);
        setErrorMessage(result.failure().description());
        setStatus(QStringLiteral("Scan failed."));
        return;
    }
    const QList<QUrl>& urls = result.value();
    addPages(urls, fallbackDpi, true);
    if (urls.isEmpty()) {
        setStatus(QStringLiteral("Nothing was scanned."));
    } else {
        setStatus(QStringLiteral("Scanned ") + QString::number(urls.size()) +
                  QStringLiteral(" page(s). ") + pagesReadyText());
    }
}

// ---- Saving and folders -------------------------------------------------------------

std::optional<QList<QUrl>> ScannerViewModel::saveCurrentPages() {
    if (pages_.isEmpty()) {
        setErrorMessage(nothingToSaveMessage);
        return std::nullopt;
    }

    // Remembered before anything is written, so it stands even if the save fails.
    editSettings([this](AppSettings& s) { s.lastDeviceId = selectedDeviceID_; });
    settings_.save();

    // A blank field falls back to the pattern; anything else goes to the saver
    // exactly as typed (it cleans the name itself).
    const QString baseName = HorizontalSpace::isBlank(fileName_) ? freshFileName() : fileName_;
    auto saved = DocumentSaver::save(pages_, settings_.saveFolderURL(), baseName, settings_.format,
                                     toInt(settings_.jpegQuality));
    if (!saved) {
        setErrorMessage(saved.failure().description());
        return std::nullopt;
    }
    lastSavedFiles_ = std::move(saved).value();
    return lastSavedFiles_;
}

void ScannerViewModel::save() {
    const std::optional<QList<QUrl>> urls = saveCurrentPages();
    if (!urls) {
        return;
    }
    QStringList names;
    for (const QUrl& url : *urls) {
        names << url.fileName();
    }
    setStatus(QStringLiteral("Saved ") + names.join(QStringLiteral(", ")));

    if (settings_.openAfterSave && !urls->isEmpty()) {
        desktop_->openUrl(urls->first());
    }
    if (settings_.clearPagesAfterSave) {
        clearPages(false);
        setFileName(freshFileName());
    }
}

void ScannerViewModel::chooseFolder() {
    const std::optional<QUrl> chosen = desktop_->chooseFolder(settings_.saveFolderURL());
    if (!chosen || !chosen->isLocalFile() || chosen->toLocalFile().isEmpty()) {
        return;
    }
    editSettings([&chosen](AppSettings& s) { s.saveFolder = chosen->toLocalFile(); });
    settings_.save();
}

void ScannerViewModel::openSaveFolder() {
    const QUrl folder = settings_.saveFolderURL();
    QDir().mkpath(folder.toLocalFile());
    desktop_->openUrl(folder);
}

// ---- E-mail -------------------------------------------------------------------------

void ScannerViewModel::beginEmail() {
    if (pages_.isEmpty() && lastSavedFiles_.isEmpty()) {
        setErrorMessage(nothingToEmailMessage);
        return;
    }
    setEmailSheetVisible(true);
}

void ScannerViewModel::sendEmail(const QString& recipients, const QString& subject,
                                 const QString& body, EmailMethod method) {
    QList<QUrl> attachments;
    if (pages_.isEmpty()) {
        for (const QUrl& url : std::as_const(lastSavedFiles_)) {
            if (QFileInfo::exists(url.toLocalFile())) {
                attachments << url;
            }
        }
    } else {
        std::optional<QList<QUrl>> saved = saveCurrentPages();
        if (!saved) {
            return;
        }
        attachments = std::move(*saved);
    }
    if (attachments.isEmpty()) {
        setErrorMessage(nothingToEmailMessage);
        return;
    }

    editSettings([&](AppSettings& s) {
        s.defaultRecipient = recipients;
        s.emailSubject = subject;
        s.emailBody = body;
        s.emailMethod = method;
    });
    settings_.save();

    if (method == EmailMethod::mailClient) {
        setStatus(EmailService::openInMailClient(recipients, subject, body, attachments));
        finishEmail();
        return;
    }

    setBusy(true);
    setStatus(QStringLiteral("Sending email..."));
    const QString savedFolder = QFileInfo(attachments.first().toLocalFile()).absolutePath();
    // The transfer gets its own copies and never touches the model; the
    // watcher belongs to the model, so the outcome is dropped if the model
    // is gone by then.
    auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, recipients, savedFolder] {
        watcher->deleteLater();
        smtpSendFinished(watcher->result(), recipients, savedFolder);
    });
    watcher->setFuture(
        QtConcurrent::run([settings = settings_, recipients, subject, body,
                           attachments = std::move(attachments)]() -> std::optional<QString> {
            const auto sent =
                EmailService::sendViaSMTP(settings, recipients, subject, body, attachments);
            if (sent) {
                return std::nullopt;
            }
            return sent.failure().description();
        }));
}

void ScannerViewModel::smtpSendFinished(const std::optional<QString>& failure,
                                        const QString& recipients, const QString& savedFolder) {
    setBusy(false);
    if (!failure) {
        setStatus(QStringLiteral("Email sent to ") + recipients + u'.');
        finishEmail();
        return;
    }
    setStatus(QStringLiteral("Email failed."));
    setErrorMessage(*failure + QStringLiteral("\n\nThe scan was still saved to ") + savedFolder +
                    u'.');
}

void ScannerViewModel::finishEmail() {
    if (pages_.isEmpty() || !settings_.clearPagesAfterSave) {
        return;
    }
    clearPages(false);
    setFileName(freshFileName());
}
