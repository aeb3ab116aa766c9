#pragma once

#include "scanning/ScannerDevice.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneSettings.h"
#include "scanning/sane/SaneThread.h"
#include "scanning/sane/SaneUnitSetup.h"

#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// A scanner reached through SANE. All SANE work happens on the SANE thread;
// this object lives on the GUI thread and hears back through queued events.
// The device is opened only for the length of one request and closed right
// after, so that listing devices (which some backends do not allow with a
// handle open) can go on between scans; an open session is this object's
// own record that the device's units are known.
//
// While a request is out, a watchdog checks that the SANE thread is not
// stuck in one call for longer than the stall timeout; if it is, the request
// is given up and answered at once (a scan as a removed device), and the
// stuck call is cancelled.
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
    enum class Waiting { nothing, session, scan };
    // Set to true when the request it belongs to is given up; its late
    // answers are then dropped.
    using Token = std::shared_ptr<std::atomic<bool>>;

    const SaneUnitSetup* unitOfType(ScannerUnit::Type type) const;
    bool threadIsStuck() const;
    void later(std::function<void()> fn);
    Token beginRequest(Waiting waiting);
    // Runs fn on the GUI thread (from the SANE thread) unless the request
    // has been given up or the device is gone.
    std::function<void(std::function<void(SaneDevice&)>)> answerer(const Token& token);
    void endRequest(const Token& token);
    void giveUpRequest();
    void sessionReady(std::vector<SaneUnitSetup> units);
    void checkForStall();

    std::shared_ptr<SaneThread> thread_;
    SaneDeviceEntry entry_;
    std::shared_ptr<const SaneSettings> settings_;
    bool sessionOpen_ = false;
    std::vector<SaneUnitSetup> units_;
    std::optional<ScannerUnit::Type> selected_;
    Waiting waiting_ = Waiting::nothing;
    Token request_;
    QTimer stallTimer_;
};
