#include "model/ScannerViewModel.h"

#include "scanning/ScanRequest.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

// Scanning: the scanner list, Refresh and the Scan button.

namespace {

const QString selectScannerMessage =
    QStringLiteral("Select a scanner first. Press Refresh if the list is empty.");

} // namespace

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
    session_.create();
    scanner_->scan(request, session_.url(),
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
