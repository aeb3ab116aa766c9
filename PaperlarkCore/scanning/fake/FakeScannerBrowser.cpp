#include "scanning/fake/FakeScannerBrowser.h"

void FakeScannerBrowser::start() {
    running_ = true;
    ++starts_;
    for (const auto& device : std::as_const(devices_)) {
        Q_EMIT deviceAdded(device);
    }
    if (!held_) {
        Q_EMIT searchCompleted();
    }
}

void FakeScannerBrowser::completeSearch() {
    held_ = false;
    Q_EMIT searchCompleted();
}

void FakeScannerBrowser::plugIn(const std::shared_ptr<ScannerDevice>& device) {
    devices_.append(device);
    if (running_) {
        Q_EMIT deviceAdded(device);
    }
}

void FakeScannerBrowser::unplug(const std::shared_ptr<ScannerDevice>& device) {
    devices_.removeAll(device);
    if (running_) {
        Q_EMIT deviceRemoved(device);
    }
    Q_EMIT device->removed();
}
