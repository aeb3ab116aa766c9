#pragma once

#include "scanning/ScannerBrowser.h"
#include "scanning/sane/SaneDevice.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneSettings.h"
#include "scanning/sane/SaneThread.h"

#include <QByteArray>
#include <QSet>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

// Finds SANE devices by comparing successive device lists. start() makes a
// full listing, network scanners included (which takes seconds); while
// browsing, a quick listing of local devices follows every few seconds, so
// that a scanner plugged in later shows up by itself. Network devices from
// the last full listing are kept until the next one. Listings run on the
// SANE thread between other jobs, so never while a device is open.
class SaneDeviceBrowser : public ScannerBrowser {
    Q_OBJECT
public:
    explicit SaneDeviceBrowser(SaneSettings settings = {}, QObject* parent = nullptr);
    ~SaneDeviceBrowser() override;

    void start() override;
    void stop() override;

private:
    struct Listing {
        std::vector<SaneDeviceEntry> devices;
        // Names found only by the full listing.
        QSet<QByteArray> network;
    };

    void list(bool full);
    void apply(const Listing& listing, bool full, quint64 generation);

    std::shared_ptr<SaneThread> thread_;
    std::shared_ptr<const SaneSettings> settings_;
    // Jobs on the SANE thread hold this weakly to know whether the browser
    // still exists when their result arrives.
    std::shared_ptr<SaneDeviceBrowser*> self_;
    QTimer pollTimer_;
    bool running_ = false;
    quint64 generation_ = 0;
    int listingsInFlight_ = 0;
    std::map<QByteArray, std::shared_ptr<SaneDevice>> known_;
    QSet<QByteArray> network_;
};
