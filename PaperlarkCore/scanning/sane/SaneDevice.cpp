#include "scanning/sane/SaneDevice.h"

#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SaneScanJob.h"
#include "scanning/sane/SaneStatusText.h"
#include "scanning/sane/SaneUnits.h"

#include <algorithm>
#include <utility>

namespace {

QString notResponding() {
    return QStringLiteral("The scanner is not responding. Switch it off and on again, then "
                          "press Refresh.");
}

QString libraryNotStarted() {
    return QStringLiteral("The scanner access library could not be started.");
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
    if (request_) {
        request_->store(true);
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

SaneDevice::Token SaneDevice::beginRequest(Waiting waiting) {
    if (request_) {
        request_->store(true);
    }
    request_ = std::make_shared<std::atomic<bool>>(false);
    waiting_ = waiting;
    stallTimer_.start();
    return request_;
}

std::function<void(std::function<void(SaneDevice&)>)> SaneDevice::answerer(const Token& token) {
    // The worker outlives every job it runs, and only jobs call this.
    SaneWorker* worker = &thread_->worker();
    std::weak_ptr<SaneDevice> self = weak_from_this();
    return [worker, self, token](std::function<void(SaneDevice&)> fn) {
        worker->postToGui([self, token, fn = std::move(fn)] {
            const auto device = self.lock();
            if (device && !token->load()) {
                fn(*device);
            }
        });
    };
}

void SaneDevice::endRequest(const Token& token) {
    if (request_ == token) {
        request_.reset();
        waiting_ = Waiting::nothing;
        stallTimer_.stop();
    }
}

void SaneDevice::giveUpRequest() {
    if (request_) {
        request_->store(true);
        request_.reset();
    }
    waiting_ = Waiting::nothing;
    stallTimer_.stop();
}

void SaneDevice::requestOpenSession() {
    if (threadIsStuck()) {
        later([this] { Q_EMIT sessionOpened(notResponding()); });
        return;
    }
    const Token token = beginRequest(Waiting::session);
    const auto answer = answerer(token);
    const auto fail = [answer, token](QString error) {
        answer([token, error](SaneDevice& device) {
            device.endRequest(token);
            Q_EMIT device.sessionOpened(error);
        });
    };
    thread_->post([answer, fail, token, name = entry_.name](SaneWorker& worker) {
        if (token->load()) {
            return;
        }
        if (!worker.initialised()) {
            fail(libraryNotStarted());
            return;
        }
        auto opened = SaneHandle::open(worker, name);
        if (!opened) {
            // Backends answer an open of a device they no longer have with
            // "invalid argument".
            fail(opened.failure() == SANE_STATUS_INVAL
                     ? QStringLiteral("The scanner is no longer available.")
                     : saneStatusText(opened.failure()));
            return;
        }
        std::vector<SaneUnitSetup> units = SaneUnits::read(opened.value());
        answer([token, units = std::move(units)](SaneDevice& device) {
            device.endRequest(token);
            device.sessionReady(units);
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

    const Token token = beginRequest(Waiting::scan);
    const auto answer = answerer(token);
    SaneScanJob::Events events;
    events.fileWritten = [answer](const QUrl& file) {
        answer([file](SaneDevice& device) { Q_EMIT device.fileWritten(file); });
    };
    events.completed = [answer, token](const std::optional<QString>& error) {
        answer([token, error](SaneDevice& device) {
            device.endRequest(token);
            if (error) {
                // Whatever went wrong, the next scan looks at the device afresh.
                device.sessionOpen_ = false;
            }
            Q_EMIT device.scanCompleted(error);
        });
    };
    events.lost = [answer, token] {
        answer([token](SaneDevice& device) {
            device.endRequest(token);
            device.sessionOpen_ = false;
            Q_EMIT device.removed();
        });
    };

    auto job = std::make_shared<SaneScanJob>(entry_.name, *unit, configuration,
                                             settings_->extraOptions, token, std::move(events));
    thread_->post([job](SaneWorker& worker) { job->run(worker); });
}

void SaneDevice::checkForStall() {
    if (waiting_ == Waiting::nothing || !threadIsStuck()) {
        return;
    }
    // The SANE thread has been stuck in one call for too long. Give the
    // request up at once, and try to make the call return.
    const Waiting waiting = waiting_;
    giveUpRequest();
    sessionOpen_ = false;
    thread_->worker().cancelActiveHandle();
    if (waiting == Waiting::session) {
        Q_EMIT sessionOpened(notResponding());
    } else {
        Q_EMIT removed();
    }
}

void SaneDevice::markRemoved() {
    sessionOpen_ = false;
    giveUpRequest();
    Q_EMIT removed();
}
