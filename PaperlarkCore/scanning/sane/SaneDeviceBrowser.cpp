#include "scanning/sane/SaneDeviceBrowser.h"

#include <utility>

namespace {

std::vector<SaneDeviceEntry> listDevices(SaneWorker& worker, bool localOnly) {
    std::vector<SaneDeviceEntry> entries;
    const SANE_Device** devices = nullptr;
    // Timed like the calls of a scan: a listing that never returns keeps
    // every later job waiting, and a waiting scan must hear about it.
    worker.callStarted();
    const SANE_Status status = sane_get_devices(&devices, localOnly ? SANE_TRUE : SANE_FALSE);
    worker.callFinished();
    if (status != SANE_STATUS_GOOD || !devices) {
        return entries;
    }
    for (const SANE_Device** device = devices; *device; ++device) {
        const SANE_Device& d = **device;
        if (!d.name) {
            continue;
        }
        entries.push_back({QByteArray(d.name), QString::fromUtf8(d.vendor ? d.vendor : ""),
                           QString::fromUtf8(d.model ? d.model : ""),
                           QString::fromUtf8(d.type ? d.type : "")});
    }
    return entries;
}

} // namespace

SaneDeviceBrowser::SaneDeviceBrowser(SaneSettings settings, QObject* parent)
    : ScannerBrowser(parent), thread_(SaneThread::shared()),
      settings_(std::make_shared<const SaneSettings>(std::move(settings))),
      self_(std::make_shared<SaneDeviceBrowser*>(this)) {
    pollTimer_.setInterval(settings_->pollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, [this] {
        // One listing at a time: while a long scan occupies the SANE thread,
        // polls do not pile up behind it.
        if (listingsInFlight_ == 0) {
            list(false);
        }
    });
}

SaneDeviceBrowser::~SaneDeviceBrowser() = default;

void SaneDeviceBrowser::start() {
    ++generation_;
    running_ = true;
    list(true);
    pollTimer_.start();
}

void SaneDeviceBrowser::stop() {
    ++generation_;
    running_ = false;
    pollTimer_.stop();
}

void SaneDeviceBrowser::list(bool full) {
    ++listingsInFlight_;
    std::weak_ptr<SaneDeviceBrowser*> self = self_;
    const quint64 generation = generation_;
    thread_->post([self, full, generation](SaneWorker& worker) {
        Listing listing;
        if (worker.initialised()) {
            listing.devices = listDevices(worker, true);
            if (full) {
                QSet<QByteArray> local;
                for (const SaneDeviceEntry& entry : listing.devices) {
                    local.insert(entry.name);
                }
                listing.devices = listDevices(worker, false);
                for (const SaneDeviceEntry& entry : listing.devices) {
                    if (!local.contains(entry.name)) {
                        listing.network.insert(entry.name);
                    }
                }
            }
        }
        worker.postToGui([self, listing = std::move(listing), full, generation] {
            if (const auto browser = self.lock()) {
                (*browser)->apply(listing, full, generation);
            }
        });
    });
}

void SaneDeviceBrowser::apply(const Listing& listing, bool full, quint64 generation) {
    --listingsInFlight_;
    if (generation != generation_ || !running_) {
        return;
    }

    std::map<QByteArray, SaneDeviceEntry> present;
    for (const SaneDeviceEntry& entry : listing.devices) {
        present.emplace(entry.name, entry);
    }
    if (full) {
        network_ = listing.network;
    } else {
        for (const auto& [name, device] : known_) {
            if (network_.contains(name)) {
                present.emplace(name, device->entry());
            }
        }
    }

    for (auto it = known_.begin(); it != known_.end();) {
        if (present.count(it->first) == 0) {
            const std::shared_ptr<SaneDevice> device = it->second;
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
            auto device = std::make_shared<SaneDevice>(thread_, entry, settings_);
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
