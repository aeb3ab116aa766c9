#pragma once

#include "scanning/ScannerDevice.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneUnitSetup.h"
#include "scanning/worker/ScannerWorkerClient.h"

#include <QFuture>
#include <QThreadPool>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// A SANE scanner driven through the scanner worker process. The device is
// opened only for the length of one request and closed right after, so that
// listing devices (which some backends do not allow with a handle open) can
// go on between scans; an open session is this object's own record that
// the device's units are known.
//
// The page files the worker announces are taken on by WorkerPageFile, one
// after the other on a thread of their own, and reported (fileWritten) in
// the order they came, under the application's own names, before the end
// of the scan. A page that does not check out ends the scan as if the
// device had gone (removed), and the worker is replaced: nothing more it
// says about that scan is believed.
class WorkerScannerDevice : public ScannerDevice {
    Q_OBJECT
public:
    WorkerScannerDevice(std::shared_ptr<ScannerWorkerClient> worker, SaneDeviceEntry entry);
    ~WorkerScannerDevice() override;

    const SaneDeviceEntry& entry() const { return entry_; }

    std::optional<QString> persistentId() const override;
    std::optional<QString> name() const override;
    Kind kind() const override;

    bool hasOpenSession() const override { return sessionOpen_; }
    void requestOpenSession() override;
    QList<ScannerUnit::Type> availableUnitTypes() const override;
    std::optional<ScannerUnit> selectedUnit() const override;
    void requestSelectUnit(ScannerUnit::Type type) override;
    void requestScan(const ScanConfiguration& configuration) override;
    void requestCancel() override;

    // The browser no longer finds the device.
    void markRemoved();

Q_SIGNALS:
    // Just before fileWritten: when the page's last byte came from the scanner.
    void pageRead(const QUrl& file, std::chrono::steady_clock::time_point lastByte);

private:
    // What the worker said during a scan, in order: a page being taken on,
    // or the end of the scan.
    struct Step {
        std::optional<QFuture<std::optional<QUrl>>> page;
        std::chrono::steady_clock::time_point lastByte;
        std::optional<ScannerWorkerClient::Event> end;
        ScanConfiguration configuration;
    };

    const SaneUnitSetup* unitOfType(ScannerUnit::Type type) const;
    void later(std::function<void()> fn);
    void sessionReady(std::vector<SaneUnitSetup> units);
    void scanEvent(const ScannerWorkerClient::Event& event, const ScanConfiguration& configuration);
    // Reports the steps that are done, in order.
    void deliverSteps();
    void scanEnded(const ScannerWorkerClient::Event& event, const ScanConfiguration& configuration);
    // Ends the scan whose page did not check out.
    void distrust(const ScanConfiguration& configuration);

    std::shared_ptr<ScannerWorkerClient> worker_;
    SaneDeviceEntry entry_;
    bool sessionOpen_ = false;
    std::vector<SaneUnitSetup> units_;
    std::optional<ScannerUnit::Type> selected_;
    bool scanning_ = false;
    // The scan whose events count; earlier scans' late events do not.
    quint64 scan_ = 0;
    std::deque<Step> steps_;
    // Takes pages on one at a time, so they finish in the order they came.
    QThreadPool adopter_;
};
