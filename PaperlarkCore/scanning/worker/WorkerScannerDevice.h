#pragma once

#include "scanning/ScannerDevice.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneUnitSetup.h"
#include "scanning/worker/ScannerWorkerClient.h"

#include <chrono>
#include <memory>
#include <vector>

// A SANE scanner driven through the scanner worker process. The device is
// opened only for the length of one request and closed right after, so that
// listing devices (which some backends do not allow with a handle open) can
// go on between scans; an open session is this object's own record that
// the device's units are known.
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
    const SaneUnitSetup* unitOfType(ScannerUnit::Type type) const;
    void later(std::function<void()> fn);
    void sessionReady(std::vector<SaneUnitSetup> units);
    void scanEvent(const ScannerWorkerClient::Event& event, const ScanConfiguration& configuration);

    std::shared_ptr<ScannerWorkerClient> worker_;
    SaneDeviceEntry entry_;
    bool sessionOpen_ = false;
    std::vector<SaneUnitSetup> units_;
    std::optional<ScannerUnit::Type> selected_;
    bool scanning_ = false;
};
