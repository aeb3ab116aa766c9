#pragma once

#include "Result.h"
#include "scanning/ScanRequest.h"
#include "scanning/ScannerBrowser.h"
#include "scanning/ScannerDevice.h"
#include "scanning/ScannerDeviceInfo.h"
#include "scanning/ScannerFailure.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The application's one contact with scanners: keeps the table of scanners
// the browser has found, publishes them as a sorted list, and turns one
// ScanRequest at a time into page files. Lives on the GUI thread; every
// signal, callback and completion is delivered there.
class ScannerService : public QObject {
    Q_OBJECT
public:
    using ScanResult = Result<QList<QUrl>, ScannerFailure>;
    using Completion = std::function<void(const ScanResult&)>;

    // Uses the system's scanners through SANE, in a worker process.
    explicit ScannerService(QObject* parent = nullptr);
    // Uses the given browser (tests use a scripted one).
    explicit ScannerService(std::unique_ptr<ScannerBrowser> browser, QObject* parent = nullptr);
    ~ScannerService() override;

    ScannerService(const ScannerService&) = delete;
    ScannerService& operator=(const ScannerService&) = delete;

    // The scanners found, sorted by name (locale-aware, case-insensitive),
    // with equal names told apart (see DeviceListing).
    // Replaced asynchronously after every change of the table; each
    // replacement is announced by devicesChanged.
    const QList<ScannerDeviceInfo>& devices() const { return devices_; }

    // True once the list published after the browser's first complete search
    // has been delivered (lists before it may still lack scanners).
    bool hasListed() const { return listed_; }

    // True from the moment a scan is accepted until it finishes.
    bool isScanning() const { return isScanning_; }

    // Called on the GUI thread with the number of page files received so
    // far in the current scan (1, 2, 3...), once per page. Empty for none.
    void setOnPageScanned(std::function<void(int)> callback) {
        onPageScanned_ = std::move(callback);
    }
    const std::function<void(int)>& onPageScanned() const { return onPageScanned_; }

    void startBrowsing();
    void stopBrowsing();
    // stopBrowsing() then startBrowsing(): the present scanners are reported afresh.
    void refresh();

    // Scans with the scanner request.deviceId names (or, when it is not
    // known, any known scanner) into folder, a file URL. Returns at once.
    // completion is called exactly once on the GUI thread, asynchronously,
    // with the page files in arrival order or the failure; only the three
    // immediate refusals (a scan already running, no scanner known, the
    // folder cannot be created) call it before scan() returns.
    //
    // A scan that breaks off after some pages fails with those pages in
    // ScannerFailure::deliveredPages(); an empty feeder after at least one
    // page is the normal end of a feeder run.
    void scan(const ScanRequest& request, const QUrl& folder, Completion completion);

    // Stops the scan in progress after the page being read. The scan then
    // completes with ScannerFailure::cancelled() carrying every complete
    // page. Does nothing when no scan runs.
    void cancel();

    // Why no scanner can be found at all (for example the scanner worker
    // cannot be started); none when looking for scanners works.
    std::optional<QString> problem() const { return browser_->problem(); }

Q_SIGNALS:
    void devicesChanged(const QList<ScannerDeviceInfo>& devices);
    void isScanningChanged(bool isScanning);
    // A page file of the current scan is complete: the file and the number
    // of pages received so far. Emitted on the GUI thread as the page
    // arrives, before the scan completes.
    void pageScanned(const QUrl& file, int count);

private:
    struct PendingScan {
        ScanRequest request;
        QUrl folder;
        Completion completion;
        QList<QUrl> urls;
        bool finished = false;
        // The device the scan was requested from, once it was.
        ScannerDevice* scanning = nullptr;
        bool cancelRequested = false;
    };

    // Browser notifications.
    void deviceAdded(const std::shared_ptr<ScannerDevice>& device);
    void deviceRemoved(const std::shared_ptr<ScannerDevice>& device);
    void rebuildDeviceList(bool searchCompleted = false);

    // Device notifications, from any device a scan was ever started on.
    void becomeDelegate(const std::shared_ptr<ScannerDevice>& device);
    void sessionOpened(ScannerDevice* device, const std::optional<QString>& error);
    void unitSelected(ScannerDevice* device, const std::optional<QString>& error);
    void fileWritten(const QUrl& file);
    void scanCompleted(const std::optional<QString>& error);
    void errorEncountered(const QString& error);
    void deviceWentAway(ScannerDevice* device);

    // Ends a scan the user cancelled, at the first answer of the device.
    bool finishIfCancelled();
    void selectFunctionalUnit(ScannerDevice* device);
    void configureAndScan(ScannerDevice* device);
    void finish(ScanResult result);
    void setScanning(bool scanning);

    QList<ScannerDeviceInfo> devices_;
    bool listed_ = false;
    bool isScanning_ = false;
    std::function<void(int)> onPageScanned_;
    std::unique_ptr<ScannerBrowser> browser_;
    QMap<QString, std::shared_ptr<ScannerDevice>> scanners_;
    std::optional<PendingScan> pending_;
    // Every device the service has become the delegate of; never shrinks.
    std::vector<std::shared_ptr<ScannerDevice>> delegated_;
};
