#pragma once

#include "scanning/ScannerBrowser.h"
#include "scanning/worker/ScannerWorkerClient.h"
#include "scanning/worker/WorkerScannerDevice.h"
#include "scanning/worker/WorkerSettings.h"

#include <QByteArray>
#include <QSet>
#include <QTimer>

#include <map>
#include <memory>

// Finds SANE devices, through the scanner worker process, by comparing
// successive device lists. start() makes a full listing, network scanners
// included (which takes seconds); while browsing, a quick listing of local
// devices follows every few seconds, so that a scanner plugged in later shows
// up by itself. Network devices from the last full listing are kept until
// the next one. The worker takes one request at a time, so a listing never
// runs while a device is open.
//
// Each browser has its own worker process.
class WorkerScannerBrowser : public ScannerBrowser {
    Q_OBJECT
public:
    explicit WorkerScannerBrowser(WorkerSettings settings = WorkerSettings::defaults(),
                                  QObject* parent = nullptr);
    ~WorkerScannerBrowser() override;

    void start() override;
    void stop() override;
    std::optional<QString> problem() const override { return worker_->problem(); }

    // The worker process, for tests and measurements.
    ScannerWorkerClient& worker() { return *worker_; }

private:
    void list(bool full);
    void apply(const WorkerProtocol::DeviceList& listing, bool full);

    std::shared_ptr<ScannerWorkerClient> worker_;
    QTimer pollTimer_;
    bool running_ = false;
    quint64 generation_ = 0;
    int listingsInFlight_ = 0;
    std::map<QByteArray, std::shared_ptr<WorkerScannerDevice>> known_;
    QSet<QByteArray> network_;
};
