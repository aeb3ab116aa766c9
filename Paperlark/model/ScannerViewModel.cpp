#include "model/ScannerViewModel.h"

#include "scanning/worker/WorkerScannerBrowser.h"

#include <algorithm>
#include <climits>

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent)
    : ScannerViewModel(std::move(desktop), std::make_unique<WorkerScannerBrowser>(), parent) {}

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                                   std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), desktop_(std::move(desktop)), status_(QStringLiteral("Ready.")) {
    Q_ASSERT(desktop_);
    Q_ASSERT(browser);
    // The settings are loaded by now; the session folder comes with its keeper.
    importer_ =
        std::make_unique<PageImporter>(document_, [this] { return session_->folderForPages(); });
    editor_ = std::make_unique<PageEditor>(document_);
    session_ = std::make_unique<SessionKeeper>(document_, *importer_, *desktop_);
    recognition_ = std::make_unique<TextRecognitionQueue>(document_.list());
    const auto configureRecognition = [this] {
        recognition_->configure(settings().ocrEnabled, settings().ocrLanguage);
    };
    configureRecognition();
    connect(&settings_, &SettingsController::changed, this, configureRecognition);
    saving_ = std::make_unique<SaveController>(
        settings_, document_, *recognition_, [this] { return scans_->deviceToRemember(); },
        *desktop_);
    email_ = std::make_unique<EmailController>(settings_, document_, *saving_);
    // Last: the scanners, which start browsing at once.
    scans_ = std::make_unique<ScanController>(
        settings_, document_, *importer_, [this] { return session_->folderForPages(); },
        std::move(browser));

    forward(&settings_, &SettingsController::changed, &ScannerViewModel::settingsChanged);
    forward(&document_, &PageDocument::pagesChanged, &ScannerViewModel::pagesChanged);
    forward(&document_, &PageDocument::selectionChanged, &ScannerViewModel::selectedPageIDChanged);
    forward(&document_, &PageDocument::historyChanged, &ScannerViewModel::historyChanged);
    forward(scans_.get(), &ScanController::devicesChanged, &ScannerViewModel::devicesChanged);
    forward(scans_.get(), &ScanController::selectedDeviceIDChanged,
            &ScannerViewModel::selectedDeviceIDChanged);
    forward(scans_.get(), &ScanController::scanningChanged, &ScannerViewModel::scanningChanged);
    forward(importer_.get(), &PageImporter::addingFilesChanged,
            &ScannerViewModel::addingFilesChanged);
    forward(saving_.get(), &SaveController::fileNameChanged, &ScannerViewModel::fileNameChanged);
    forward(email_.get(), &EmailController::sheetVisibleChanged,
            &ScannerViewModel::emailSheetVisibleChanged);
    forward(email_.get(), &EmailController::attachmentSizeChanged,
            &ScannerViewModel::emailSizeChanged);
    // busy is derived: each part announces a change of its own share.
    forward(scans_.get(), &ScanController::busyChanged, &ScannerViewModel::busyChanged);
    forward(saving_.get(), &SaveController::busyChanged, &ScannerViewModel::busyChanged);
    forward(email_.get(), &EmailController::busyChanged, &ScannerViewModel::busyChanged);
    forward(editor_.get(), &PageEditor::busyChanged, &ScannerViewModel::busyChanged);
    hearFrom(&document_);
    hearFrom(importer_.get());
    hearFrom(editor_.get());
    connect(editor_.get(), &PageEditor::cropFrameFound, this, &ScannerViewModel::cropFrameFound);
    hearFrom(scans_.get());
    hearFrom(saving_.get());
    hearFrom(email_.get());
    connect(session_.get(), &SessionKeeper::recoveryFinished, this,
            &ScannerViewModel::recoveryFinished);
    connect(&settings_, &SettingsController::testMessageReported, this,
            &ScannerViewModel::testEmailReported);
}

ScannerViewModel::~ScannerViewModel() = default;

void ScannerViewModel::publish(void (ScannerViewModel::*signal)()) {
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}

void ScannerViewModel::setStatus(QString status) {
    status_ = std::move(status);
    publish(&ScannerViewModel::statusChanged);
}

void ScannerViewModel::setErrorMessage(std::optional<QString> message) {
    errorMessage_ = std::move(message);
    publish(&ScannerViewModel::errorMessageChanged);
}

void ScannerViewModel::importFiles() {
    importFiles(desktop_->chooseImageFiles());
}

void ScannerViewModel::importFiles(const QList<QUrl>& urls) {
    const int dpi = static_cast<int>(std::clamp<std::int64_t>(settings().dpi, INT_MIN, INT_MAX));
    importer_->addFiles(urls, dpi);
}

void ScannerViewModel::clearPages(bool confirm) {
    if (document_.isEmpty() || (confirm && !desktop_->confirmDiscardAllPages())) {
        return;
    }
    document_.clear();
}

void ScannerViewModel::cleanUp(bool keepUnsavedPages) {
    editSettings([this](AppSettings& s) { s.lastDeviceId = scans_->deviceToRemember(); });
    settings_.save();
    importer_->cancelFiles();
    importer_->wait();
    editor_->cancel();
    editor_->wait();
    session_->end(keepUnsavedPages);
}
