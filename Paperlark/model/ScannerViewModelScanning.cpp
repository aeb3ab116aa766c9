#include "model/ScannerViewModel.h"

#include "scanning/ScanRequest.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <algorithm>

// Scanning: the scanner list, Refresh and the Scan button.

namespace {

const QString selectScannerMessage =
    QStringLiteral("Select a scanner first. Press Refresh if the list is empty.");

} // namespace

struct ScannerViewModel::ScanImport {
    // Pages of this scan fall back to the resolution in force when it started.
    int fallbackDpi = 0;
    QUrl cacheFolder;
    // Files on their way or in, so that none is imported twice.
    QSet<QUrl> started;
    int outstanding = 0;
    // The service's outcome, once it has come.
    std::optional<ScannerService::ScanResult> result;
};

void ScannerViewModel::deliverDevices(const QList<ScannerDeviceInfo>& devices) {
    setDevices(devices);
    const auto listed = [&devices](const QString& id) {
        return !id.isEmpty() &&
               std::any_of(devices.cbegin(), devices.cend(),
                           [&id](const ScannerDeviceInfo& device) { return device.id == id; });
    };
    // Until the first complete listing the lists may still lack scanners
    // (a network search takes seconds): the remembered scanner is chosen
    // when it turns up, an empty list takes nothing away, and the status
    // stays as it was.
    const bool complete = scanner_->hasListed();
    if (rememberedDeviceID_ && listed(*rememberedDeviceID_)) {
        chooseDevice(*rememberedDeviceID_);
    } else if (!listed(selectedDeviceID_) && (complete || !devices.isEmpty())) {
        chooseDevice(devices.isEmpty() ? QString() : devices.first().id);
    }
    if (const std::optional<QString> problem = scanner_->problem();
        problem && devices.isEmpty()) {
        setStatus(*problem);
        return;
    }
    if (!complete) {
        return;
    }
    rememberedDeviceID_.reset();
    setStatus(devices.isEmpty()
                  ? QStringLiteral("No scanner found yet. Check it is switched on and connected.")
                  : QString::number(devices.size()) + QStringLiteral(" scanner(s) found. Ready."));
}

QString ScannerViewModel::deviceToRemember() const {
    return rememberedDeviceID_.value_or(selectedDeviceID_);
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
    // The scanner writes into the session folder; after a clean-up it has to
    // be made again, private to the user, before the service creates it.
    session_.create();
    auto import = std::make_shared<ScanImport>();
    import->fallbackDpi = toInt(settings_.dpi);
    import->cacheFolder = session_.url();
    // A scan refused at once (one already runs, no scanner, no folder) must
    // not take over the pages of the one that runs.
    const bool anotherRuns = scanner_->isScanning();
    scanner_->scan(request, session_.url(),
                   [self = QPointer<ScannerViewModel>(this),
                    import](const ScannerService::ScanResult& result) {
                       // Whichever thread this comes on, the model is only
                       // touched on the GUI thread, and only if it still exists.
                       QMetaObject::invokeMethod(
                           QCoreApplication::instance(),
                           [self, import, result] {
                               if (self) {
                                   self->scanFinished(import, result);
                               }
                           },
                           Qt::QueuedConnection);
                   });
    if (!anotherRuns && scanner_->isScanning()) {
        scan_ = import;
        publish(&ScannerViewModel::scanningChanged);
    }
}

void ScannerViewModel::cancelScan() {
    scanner_->cancel();
}

void ScannerViewModel::importScannedPage(const std::shared_ptr<ScanImport>& import,
                                         const QUrl& file) {
    if (import->started.contains(file)) {
        return;
    }
    import->started.insert(file);
    ++import->outstanding;
    // Decoding, re-encoding and thumbnailing a page takes long: it happens
    // on the importer's thread, and only the finished page comes back.
    importer_->start([self = QPointer<ScannerViewModel>(this), import, file,
                      folder = import->cacheFolder, dpi = import->fallbackDpi] {
        auto made = ScannedPage::make(file, folder, dpi, true);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, import, made = std::move(made)] {
                if (self) {
                    self->scannedPageImported(import, made);
                }
            },
            Qt::QueuedConnection);
    });
}

void ScannerViewModel::scannedPageImported(
    const std::shared_ptr<ScanImport>& import,
    const Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>& made) {
    --import->outstanding;
    if (made) {
        if (pages_.append({made.value()})) {
            publish(&ScannerViewModel::pagesChanged);
            publish(&ScannerViewModel::selectedPageIDChanged);
        }
    } else {
        setErrorMessage(made.failure().description());
    }
    completeScanWhenImported(import);
}

void ScannerViewModel::scanFinished(const std::shared_ptr<ScanImport>& import,
                                    const ScannerService::ScanResult& result) {
    import->result = result;
    // Every delivered file was announced as it came; any that was not is
    // imported now.
    for (const QUrl& file : result ? result.value() : result.failure().deliveredPages()) {
        importScannedPage(import, file);
    }
    completeScanWhenImported(import);
}

void ScannerViewModel::completeScanWhenImported(const std::shared_ptr<ScanImport>& import) {
    if (!import->result || import->outstanding > 0) {
        return;
    }
    const ScannerService::ScanResult result = *std::exchange(import->result, std::nullopt);
    if (scan_ == import) {
        scan_.reset();
        publish(&ScannerViewModel::scanningChanged);
    }
    setBusy(false);
    if (result) {
        const QList<QUrl>& urls = result.value();
        setStatus(urls.isEmpty() ? QStringLiteral("Nothing was scanned.")
                                 : QStringLiteral("Scanned ") + QString::number(urls.size()) +
                                       QStringLiteral(" page(s). ") + pagesReadyText());
        return;
    }
    const ScannerFailure& failure = result.failure();
    const QString delivered = QString::number(failure.deliveredPages().size());
    if (failure.kind() == ScannerFailure::Kind::cancelled) {
        setStatus(QStringLiteral("Scan cancelled. ") + delivered +
                  QStringLiteral(" page(s) kept."));
        return;
    }
    setErrorMessage(failure.description());
    setStatus(failure.deliveredPages().isEmpty()
                  ? QStringLiteral("Scan failed.")
                  : QStringLiteral("Scanned ") + delivered +
                        QStringLiteral(" page(s), then the scan stopped: ") +
                        failure.description());
}
