#include "model/ScanController.h"

#include "model/ImageFileSource.h"
#include "scanning/ScanRequest.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <climits>

namespace {

int toInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

ScanController::ScanController(const SettingsController& settings, const PageDocument& document,
                               PageImporter& importer, std::function<QUrl()> folder,
                               std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), settings_(settings), document_(document), importer_(importer),
      folder_(std::move(folder)), selectedDeviceID_(settings.settings().lastDeviceId),
      scanner_(std::make_unique<ScannerService>(std::move(browser))) {
    if (!selectedDeviceID_.isEmpty()) {
        rememberedDeviceID_ = selectedDeviceID_;
    }
    // The service's lists arrive asynchronously, the current one first.
    connect(scanner_.get(), &ScannerService::devicesChanged, this, &ScanController::deliverDevices);
    QMetaObject::invokeMethod(
        this, [this, current = scanner_->devices()] { deliverDevices(current); },
        Qt::QueuedConnection);
    scanner_->setOnPageScanned([self = QPointer<ScanController>(this)](int count) {
        if (self) {
            Q_EMIT self->statusReported(QStringLiteral("Scanned page ") + QString::number(count) +
                                        QStringLiteral("..."));
        }
    });
    // Each page file of a scan starts becoming a page as soon as it arrives.
    connect(scanner_.get(), &ScannerService::pageScanned, this, [this](const QUrl& file) {
        if (scan_) {
            importFile(*scan_, file);
        }
    });
    connect(&importer_, &PageImporter::batchFinished, this, &ScanController::pagesIn);
    scanner_->startBrowsing();
}

ScanController::~ScanController() = default;

// ---- Scanners -------------------------------------------------------------------

void ScanController::deliverDevices(const QList<ScannerDeviceInfo>& devices) {
    devices_ = devices;
    Q_EMIT devicesChanged();
    const auto listed = [&devices](const QString& id) {
        return !id.isEmpty() &&
               std::any_of(devices.cbegin(), devices.cend(),
                           [&id](const ScannerDeviceInfo& device) { return device.id == id; });
    };
    const bool complete = scanner_->hasListed();
    if (rememberedDeviceID_ && listed(*rememberedDeviceID_)) {
        chooseDevice(*rememberedDeviceID_);
    } else if (!listed(selectedDeviceID_) && (complete || !devices.isEmpty())) {
        chooseDevice(devices.isEmpty() ? QString() : devices.first().id);
    }
    if (const std::optional<QString> problem = scanner_->problem(); problem && devices.isEmpty()) {
        Q_EMIT statusReported(*problem);
        return;
    }
    if (!complete) {
        return;
    }
    rememberedDeviceID_.reset();
    Q_EMIT statusReported(
        devices.isEmpty()
            ? QStringLiteral("No scanner found yet. Check it is switched on and connected.")
            : QString::number(devices.size()) + QStringLiteral(" scanner(s) found. Ready."));
}

void ScanController::setSelectedDeviceID(QString id) {
    rememberedDeviceID_.reset();
    chooseDevice(std::move(id));
}

void ScanController::chooseDevice(QString id) {
    selectedDeviceID_ = std::move(id);
    Q_EMIT selectedDeviceIDChanged();
}

QString ScanController::deviceToRemember() const {
    return rememberedDeviceID_.value_or(selectedDeviceID_);
}

void ScanController::refresh() {
    scanner_->stopBrowsing();
    scanner_->startBrowsing();
    Q_EMIT statusReported(QStringLiteral("Looking for scanners..."));
}

// ---- Scanning -------------------------------------------------------------------

void ScanController::setBusy(bool busy) {
    busy_ = busy;
    Q_EMIT busyChanged();
}

void ScanController::scan() {
    if (selectedDeviceID_.isEmpty()) {
        Q_EMIT failed(
            QStringLiteral("Select a scanner first. Press Refresh if the list is empty."));
        return;
    }
    const AppSettings& settings = settings_.settings();
    const ScanRequest request{selectedDeviceID_, settings.source, settings.colour, settings.paper,
                              toInt(settings.dpi)};
    setBusy(true);
    Q_EMIT statusReported(QStringLiteral("Scanning..."));
    auto run = std::make_shared<Run>();
    run->fallbackDpi = toInt(settings.dpi);
    run->processing = {settings.straightenScans, settings.turnScansUpright};
    run->batch = importer_.openBatch();
    runs_.append(run);
    // The service may answer on any thread; the outcome is handled here, on
    // the GUI thread, while the controller lives.
    const auto outcome = Job<ScannerService::ScanResult>::expect(
        this, [this, run](const ScannerService::ScanResult& result) { scanFinished(run, result); });
    // A scan refused at once (one already runs, no scanner, no folder) must
    // not take over the pages of the one that runs.
    const bool anotherRuns = scanner_->isScanning();
    // The scanner writes into the session folder, made again (private to
    // the user) when a clean-up removed it.
    scanner_->scan(request, folder_(), outcome.finisher());
    if (!anotherRuns && scanner_->isScanning()) {
        scan_ = run;
        Q_EMIT scanningChanged();
    }
}

void ScanController::cancel() {
    scanner_->cancel();
}

void ScanController::importFile(Run& run, const QUrl& file) {
    if (run.started.contains(file)) {
        return;
    }
    run.started.insert(file);
    importer_.add(run.batch,
                  std::make_unique<ImageFileSource>(file, run.fallbackDpi, true, run.processing));
}

void ScanController::scanFinished(const std::shared_ptr<Run>& run,
                                  const ScannerService::ScanResult& result) {
    run->result = result;
    // Every delivered file was announced as it came; any that was not is
    // imported now.
    for (const QUrl& file : result ? result.value() : result.failure().deliveredPages()) {
        importFile(*run, file);
    }
    importer_.close(run->batch);
}

void ScanController::pagesIn(int batch, const PageImporter::Report& report) {
    const auto found = std::find_if(runs_.cbegin(), runs_.cend(),
                                    [batch](const auto& run) { return run->batch == batch; });
    if (found == runs_.cend()) {
        return; // not a scan's
    }
    const std::shared_ptr<Run> run = *found;
    runs_.removeAll(run);
    if (scan_ == run) {
        scan_.reset();
        Q_EMIT scanningChanged();
    }
    setBusy(false);
    if (run->result) {
        this->report(*run->result, report);
    }
}

void ScanController::report(const ScannerService::ScanResult& result,
                            const PageImporter::Report& pages) {
    if (!pages.failures.isEmpty()) {
        Q_EMIT failed(ImportFailure::alertText(pages.failures));
    }
    if (result) {
        const QList<QUrl>& urls = result.value();
        Q_EMIT statusReported(urls.isEmpty()
                                  ? QStringLiteral("Nothing was scanned.")
                                  : QStringLiteral("Scanned ") + QString::number(urls.size()) +
                                        QStringLiteral(" page(s). ") + document_.readyText());
        return;
    }
    const ScannerFailure& failure = result.failure();
    const QString delivered = QString::number(failure.deliveredPages().size());
    if (failure.kind() == ScannerFailure::Kind::cancelled) {
        Q_EMIT statusReported(QStringLiteral("Scan cancelled. ") + delivered +
                              QStringLiteral(" page(s) kept."));
        return;
    }
    Q_EMIT failed(failure.description());
    Q_EMIT statusReported(failure.deliveredPages().isEmpty()
                              ? QStringLiteral("Scan failed.")
                              : QStringLiteral("Scanned ") + delivered +
                                    QStringLiteral(" page(s), then the scan stopped: ") +
                                    failure.description());
}
