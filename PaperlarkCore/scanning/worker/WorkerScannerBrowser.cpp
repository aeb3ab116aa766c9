#include "scanning/worker/WorkerScannerBrowser.h"

#include <QPointer>

#include <utility>

WorkerScannerBrowser::WorkerScannerBrowser(WorkerSettings settings, QObject* parent)
    : ScannerBrowser(parent), worker_(std::make_shared<ScannerWorkerClient>(std::move(settings))) {
    pollTimer_.setInterval(worker_->settings().pollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, [this] {
        // One listing at a time: while a long scan occupies the worker,
        // polls do not pile up behind it.
        if (listingsInFlight_ == 0) {
            list(false);
        }
    });
}

WorkerScannerBrowser::~WorkerScannerBrowser() = default;

void WorkerScannerBrowser::start() {
    ++generation_;
    running_ = true;
    list(true);
    pollTimer_.start();
}

void WorkerScannerBrowser::stop() {
    ++generation_;
    running_ = false;
    pollTimer_.stop();
}

void WorkerScannerBrowser::list(bool full) {
    ++listingsInFlight_;
    QPointer<WorkerScannerBrowser> self(this);
    const quint64 generation = generation_;
    worker_->submit(WorkerProtocol::ListDevices{!full},
                    [self, full, generation](const ScannerWorkerClient::Event& event) {
                        if (!self) {
                            return;
                        }
                        --self->listingsInFlight_;
                        if (generation != self->generation_ || !self->running_) {
                            return;
                        }
                        const auto* reply = std::get_if<WorkerProtocol::Reply>(&event);
                        if (reply) {
                            self->apply(std::get<WorkerProtocol::DeviceList>(*reply), full);
                            return;
                        }
                        const auto& lost = std::get<ScannerWorkerClient::Lost>(event);
                        if (lost.loss == ScannerWorkerClient::Loss::unavailable) {
                            // Without a worker no scanner can be reached.
                            self->apply({}, full);
                        } else if (full) {
                            // The listing failed; what was known stays, and
                            // whoever waits for the search hears back.
                            Q_EMIT self->searchCompleted();
                        }
                    });
}

void WorkerScannerBrowser::apply(const WorkerProtocol::DeviceList& listing, bool full) {
    std::map<QByteArray, SaneDeviceEntry> present;
    for (const SaneDeviceEntry& entry : listing.devices) {
        present.emplace(entry.name, entry);
    }
    if (full) {
        network_ = listing.networkOnly;
    } else {
        for (const auto& [name, device] : known_) {
            if (network_.contains(name)) {
                present.emplace(name, device->entry());
            }
        }
    }

    for (auto it = known_.begin(); it != known_.end();) {
        if (present.count(it->first) == 0) {
            const std::shared_ptr<WorkerScannerDevice> device = it->second;
            it = known_.erase(it);
            Q_EMIT deviceRemoved(device);
            device->markRemoved();
        } else {
            ++it;
        }
    }
    for (const auto& [name, entry] : present) {
        const auto found = known_.find(name);
        if (found == known_.end()) {
            auto device = std::make_shared<WorkerScannerDevice>(worker_, entry);
            known_.emplace(name, device);
            Q_EMIT deviceAdded(device);
        } else if (full) {
            // A full listing reports every device afresh.
            Q_EMIT deviceAdded(found->second);
        }
    }
    if (full) {
        Q_EMIT searchCompleted();
    }
}
