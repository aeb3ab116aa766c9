#include "scanning/sane/SaneDevice.h"

#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SaneScanJob.h"
#include "scanning/sane/SaneStatusText.h"
#include "scanning/sane/SaneUnits.h"

#include <algorithm>

namespace {

QString notResponding() {
    return QStringLiteral("The scanner is not responding. Switch it off and on again, then "
                          "press Refresh.");
}

} // namespace

SaneDevice::SaneDevice(std::shared_ptr<SaneThread> thread, SaneDeviceEntry entry,
                       std::shared_ptr<const SaneSettings> settings)
    : thread_(std::move(thread)), entry_(std::move(entry)), settings_(std::move(settings)) {
    const auto interval = std::clamp(settings_->stallTimeout / 4, std::chrono::milliseconds(10),
                                     std::chrono::milliseconds(1000));
    stallTimer_.setInterval(interval);
    connect(&stallTimer_, &QTimer::timeout, this, &SaneDevice::checkForStall);
}

SaneDevice::~SaneDevice() {
    if (scan_) {
        scan_->store(true);
    }
}

std::optional<QString> SaneDevice::persistentId() const {
    return QString::fromUtf8(entry_.name);
}

std::optional<QString> SaneDevice::name() const {
    return entry_.displayName();
}

ScannerDevice::Kind SaneDevice::kind() const {
    return entry_.isCamera() ? Kind::camera : Kind::scanner;
}

void SaneDevice::later(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

bool SaneDevice::threadIsStuck() const {
    const auto blocked = thread_->worker().blockedFor();
    return blocked && *blocked >= settings_->stallTimeout;
}

void SaneDevice::requestOpenSession() {
    if (threadIsStuck()) {
        later([this] { Q_EMIT sessionOpened(notResponding()); });
        return;
    }
    std::weak_ptr<SaneDevice> self = weak_from_this();
    thread_->post([self, name = entry_.name](SaneWorker& worker) {
        if (!worker.initialised()) {
            worker.postToGui([self] {
                if (const auto device = self.lock()) {
                    Q_EMIT device->sessionOpened(
                        QStringLiteral("The scanner access library could not be started."));
                }
            });
            return;
        }
        auto opened = SaneHandle::open(worker, name);
        if (!opened) {
            // Backends answer an open of a device they no longer have with
            // "invalid argument".
            const QString error = opened.failure() == SANE_STATUS_INVAL
                                      ? QStringLiteral("The scanner is no longer available.")
                                      : saneStatusText(opened.failure());
            worker.postToGui([self, error] {
                if (const auto device = self.lock()) {
                    Q_EMIT device->sessionOpened(error);
                }
            });
            return;
        }
        std::vector<SaneUnitSetup> units = SaneUnits::read(opened.value());
        worker.postToGui([self, units = std::move(units)]() mutable {
            if (const auto device = self.lock()) {
                device->sessionReady(std::move(units));
            }
        });
    });
}

void SaneDevice::sessionReady(std::vector<SaneUnitSetup> units) {
    units_ = std::move(units);
    sessionOpen_ = true;
    if (!selected_ || !unitOfType(*selected_)) {
        selected_.reset();
        if (!units_.empty()) {
            selected_ = units_.front().unit.type;
        }
    }
    Q_EMIT sessionOpened(std::nullopt);
}

const SaneUnitSetup* SaneDevice::unitOfType(ScannerUnit::Type type) const {
    const auto found =
        std::find_if(units_.begin(), units_.end(),
                     [type](const SaneUnitSetup& unit) { return unit.unit.type == type; });
    return found == units_.end() ? nullptr : &*found;
}

QList<ScannerUnit::Type> SaneDevice::availableUnitTypes() const {
    QList<ScannerUnit::Type> types;
    for (const SaneUnitSetup& unit : units_) {
        types.append(unit.unit.type);
    }
    return types;
}

std::optional<ScannerUnit> SaneDevice::selectedUnit() const {
    if (!selected_) {
        return std::nullopt;
    }
    if (const SaneUnitSetup* unit = unitOfType(*selected_)) {
        return unit->unit;
    }
    return std::nullopt;
}

void SaneDevice::requestSelectUnit(ScannerUnit::Type type) {
    // Selecting is remembered here and applied when the scan opens the device.
    if (!unitOfType(type)) {
        later([this] {
            Q_EMIT unitSelected(QStringLiteral("The scanner does not offer this source."));
        });
        return;
    }
    selected_ = type;
    later([this] { Q_EMIT unitSelected(std::nullopt); });
}

void SaneDevice::requestScan(const ScanConfiguration& configuration) {
    const SaneUnitSetup* unit = selected_ ? unitOfType(*selected_) : nullptr;
    if (!sessionOpen_ || !unit) {
        later([this] {
            Q_EMIT scanCompleted(QStringLiteral("The scanner has no source selected."));
        });
        return;
    }
    if (threadIsStuck()) {
        later([this] { Q_EMIT scanCompleted(notResponding()); });
        return;
    }

    auto scan = std::make_shared<std::atomic<bool>>(false);
    scan_ = scan;
    stallTimer_.start();

    // The events run on the SANE thread, inside the job, while the worker
    // is alive; each hands over to the GUI thread and is dropped there if
    // the scan has been given up meanwhile.
    SaneWorker* worker = &thread_->worker();
    std::weak_ptr<SaneDevice> self = weak_from_this();
    const auto onGui = [worker, self, scan](std::function<void(SaneDevice&)> fn) {
        worker->postToGui([self, scan, fn = std::move(fn)] {
            const auto device = self.lock();
            if (device && !scan->load()) {
                fn(*device);
            }
        });
    };
    SaneScanJob::Events events;
    events.fileWritten = [onGui](const QUrl& file) {
        onGui([file](SaneDevice& device) { Q_EMIT device.fileWritten(file); });
    };
    events.completed = [onGui, scan](const std::optional<QString>& error) {
        onGui([error, scan](SaneDevice& device) {
            device.scanEnded(scan);
            if (error) {
                // Whatever went wrong, the next scan looks at the device afresh.
                device.sessionOpen_ = false;
            }
            Q_EMIT device.scanCompleted(error);
        });
    };
    events.lost = [onGui, scan] {
        onGui([scan](SaneDevice& device) {
            device.scanEnded(scan);
            device.sessionOpen_ = false;
            Q_EMIT device.removed();
        });
    };

    auto job = std::make_shared<SaneScanJob>(entry_.name, *unit, configuration,
                                             settings_->extraOptions, scan, std::move(events));
    thread_->post([job](SaneWorker& w) { job->run(w); });
}

void SaneDevice::scanEnded(const std::shared_ptr<std::atomic<bool>>& scan) {
    if (scan_ == scan) {
        scan_.reset();
        stallTimer_.stop();
    }
}

void SaneDevice::checkForStall() {
    if (!scan_) {
        stallTimer_.stop();
        return;
    }
    if (!threadIsStuck()) {
        return;
    }
    // The scanner stopped answering in the middle of a call. Give the scan
    // up at once, and try to make the call return.
    scan_->store(true);
    scan_.reset();
    stallTimer_.stop();
    sessionOpen_ = false;
    thread_->worker().cancelActiveHandle();
    Q_EMIT removed();
}

void SaneDevice::markRemoved() {
    sessionOpen_ = false;
    if (scan_) {
        scan_->store(true);
        scan_.reset();
        stallTimer_.stop();
    }
    Q_EMIT removed();
}
