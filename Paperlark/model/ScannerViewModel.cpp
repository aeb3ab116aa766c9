#include "model/ScannerViewModel.h"

#include "pages/DocumentSaver.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <climits>

// Start-up, the published fields and the page list. Scanning, saving and
// e-mail live in ScannerViewModelScanning.cpp, ScannerViewModelSaving.cpp and
// ScannerViewModelEmail.cpp.

namespace {

const QString readyStatus = QStringLiteral("Ready.");
const QString pagesClearedStatus = QStringLiteral("Pages cleared.");

void discardAll(const ScannerViewModel::Pages& pages) {
    for (const auto& page : pages) {
        page->discard();
    }
}

} // namespace

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent)
    : ScannerViewModel(std::move(desktop), std::make_unique<WorkerScannerBrowser>(), parent) {}

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                                   std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), desktop_(std::move(desktop)), status_(readyStatus),
      importer_(std::make_unique<QThreadPool>()) {
    Q_ASSERT(desktop_);
    Q_ASSERT(browser);
    importer_->setMaxThreadCount(1);

    settings_ = AppSettings::load();
    fileName_ = freshFileName();
    selectedDeviceID_ = settings_.lastDeviceId;
    if (!selectedDeviceID_.isEmpty()) {
        rememberedDeviceID_ = selectedDeviceID_;
    }

    session_.create();
    followPagesForRecovery();

    recognition_ = std::make_unique<TextRecognitionQueue>(pages_);
    recognition_->configure(settings_.ocrEnabled, settings_.ocrLanguage);
    connect(this, &ScannerViewModel::settingsChanged, this,
            [this] { recognition_->configure(settings_.ocrEnabled, settings_.ocrLanguage); });

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
    // Each page file of a scan starts becoming a page as soon as it arrives.
    connect(scanner_.get(), &ScannerService::pageScanned, this, [this](const QUrl& file) {
        if (scan_) {
            importScannedPage(scan_, file);
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

void ScannerViewModel::setSelectedPageID(std::optional<QUuid> id) {
    pages_.setSelectedID(std::move(id));
    publish(&ScannerViewModel::selectedPageIDChanged);
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
    rememberedDeviceID_.reset();
    chooseDevice(std::move(id));
}

void ScannerViewModel::chooseDevice(QString id) {
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
    recognition_->refresh(); // a page may have been turned
    publish(&ScannerViewModel::pagesChanged);
}

// ---- Derived values -------------------------------------------------------------

std::shared_ptr<ScannedPage> ScannerViewModel::selectedPage() const {
    return pages_.selectedPage();
}

bool ScannerViewModel::canSave() const {
    return !pages_.isEmpty() && !busy_;
}

bool ScannerViewModel::canEmail() const {
    return (!pages_.isEmpty() || !lastSavedFiles_.isEmpty()) && !busy_;
}

QString ScannerViewModel::pagesReadyText() const {
    return QString::number(pages_.size()) + QStringLiteral(" page(s) ready.");
}

QString ScannerViewModel::freshFileName() const {
    return DocumentSaver::buildBaseName(settings_.fileNamePattern, QDateTime::currentDateTime());
}

int ScannerViewModel::toInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// ---- Page list ------------------------------------------------------------------

void ScannerViewModel::importFiles() {
    importFiles(desktop_->chooseImageFiles());
}

void ScannerViewModel::importFiles(const QList<QUrl>& urls) {
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
    session_.create();

    Pages added;
    std::optional<QString> lastFailure;
    for (const QUrl& url : urls) {
        auto made = ScannedPage::make(url, session_.url(), toInt(dpi), removingSource);
        if (made) {
            added.append(std::move(made).value());
        } else {
            lastFailure = made.failure().description();
        }
    }
    if (pages_.append(added)) {
        publish(&ScannerViewModel::pagesChanged);
        publish(&ScannerViewModel::selectedPageIDChanged);
    }
    if (lastFailure) {
        setErrorMessage(std::move(lastFailure));
    }
}

void ScannerViewModel::moveSelection(int offset) {
    if (!pages_.moveSelected(offset)) {
        return;
    }
    publish(&ScannerViewModel::pagesChanged);
    publish(&ScannerViewModel::selectedPageIDChanged);
}

void ScannerViewModel::deleteSelection() {
    const std::shared_ptr<ScannedPage> removed = pages_.removeSelected();
    if (!removed) {
        return;
    }
    removed->discard();
    publish(&ScannerViewModel::pagesChanged);
    publish(&ScannerViewModel::selectedPageIDChanged);
    setStatus(pagesReadyText());
}

void ScannerViewModel::clearPages(bool confirm) {
    if (pages_.isEmpty()) {
        return;
    }
    if (confirm && !desktop_->confirmDiscardAllPages()) {
        return;
    }
    discardAll(pages_.clear());
    publish(&ScannerViewModel::pagesChanged);
    publish(&ScannerViewModel::selectedPageIDChanged);
    setStatus(pagesClearedStatus);
}

void ScannerViewModel::cleanUp(bool keepUnsavedPages) {
    editSettings([this](AppSettings& s) { s.lastDeviceId = deviceToRemember(); });
    settings_.save();
    if (keepUnsavedPages && unsavedPageCount() > 0) {
        session_.recordPages(pages_.pages());
        session_.release();
        return;
    }
    discardAll(pages_.pages());
    session_.remove();
}
