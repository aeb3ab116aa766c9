#pragma once

#include "scanning/ScannerDevice.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneSettings.h"
#include "scanning/sane/SaneThread.h"
#include "scanning/sane/SaneUnitSetup.h"

#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

// A scanner reached through SANE. All SANE work happens on the SANE thread;
// this object lives on the GUI thread and hears back through queued events.
// The device is opened only for the length of one request and closed right
// after, so that listing devices (which some backends do not allow with a
// handle open) can go on between scans; an open session is this object's
// own record that the device's units are known.
class SaneDevice : public ScannerDevice, public std::enable_shared_from_this<SaneDevice> {
    Q_OBJECT
public:
    SaneDevice(std::shared_ptr<SaneThread> thread, SaneDeviceEntry entry,
               std::shared_ptr<const SaneSettings> settings);
    ~SaneDevice() override;

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

    // The browser no longer finds the device.
    void markRemoved();

private:
    const SaneUnitSetup* unitOfType(ScannerUnit::Type type) const;
    bool threadIsStuck() const;
    void later(std::function<void()> fn);
    void sessionReady(std::vector<SaneUnitSetup> units);
    void scanEnded(const std::shared_ptr<std::atomic<bool>>& scan);
    void checkForStall();

    std::shared_ptr<SaneThread> thread_;
    SaneDeviceEntry entry_;
    std::shared_ptr<const SaneSettings> settings_;
    bool sessionOpen_ = false;
    std::vector<SaneUnitSetup> units_;
    std::optional<ScannerUnit::Type> selected_;
    // The scan in progress; set to true when it is given up.
    std::shared_ptr<std::atomic<bool>> scan_;
    QTimer stallTimer_;
};
