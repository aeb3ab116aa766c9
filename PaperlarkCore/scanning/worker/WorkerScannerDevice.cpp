#include "scanning/worker/WorkerScannerDevice.h"

#include "scanning/PageFileWriter.h"
#include "scanning/worker/WorkerPageFile.h"

#include <QDir>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace {

using namespace WorkerProtocol;
using Loss = ScannerWorkerClient::Loss;

QString notResponding() {
    return QStringLiteral("The scanner is not responding. Switch it off and on again, then "
                          "press Refresh.");
}

QString driverStopped() {
    return QStringLiteral("The scanner driver stopped unexpectedly.");
}

// A worker killed while writing a page leaves its unfinished file behind.
void removePartialFiles(const ScanConfiguration& configuration) {
    QDir folder(configuration.downloadsDirectory.toLocalFile());
    const QString prefix = PageFileWriter::partialPrefix(configuration.documentName);
    for (const QString& name :
         folder.entryList({prefix + QStringLiteral("*")}, QDir::Files | QDir::Hidden)) {
        folder.remove(name);
    }
}

} // namespace

WorkerScannerDevice::WorkerScannerDevice(std::shared_ptr<ScannerWorkerClient> worker,
                                         SaneDeviceEntry entry)
    : worker_(std::move(worker)), entry_(std::move(entry)) {
    adopter_.setMaxThreadCount(1);
}

WorkerScannerDevice::~WorkerScannerDevice() {
    // Pages being taken on finish (their files stay in the scan's folder).
    adopter_.waitForDone();
}

std::optional<QString> WorkerScannerDevice::persistentId() const {
    return QString::fromUtf8(entry_.name);
}

std::optional<QString> WorkerScannerDevice::name() const {
    return entry_.displayName();
}

ScannerDevice::Kind WorkerScannerDevice::kind() const {
    return entry_.isCamera() ? Kind::camera : Kind::scanner;
}

void WorkerScannerDevice::later(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void WorkerScannerDevice::requestOpenSession() {
    QPointer<WorkerScannerDevice> self(this);
    worker_->submit(OpenDevice{entry_.name}, [self](const ScannerWorkerClient::Event& event) {
        if (!self) {
            return;
        }
        if (const auto* lost = std::get_if<ScannerWorkerClient::Lost>(&event)) {
            self->sessionOpen_ = false;
            Q_EMIT self->sessionOpened(lost->loss == Loss::unavailable ? lost->text
                                       : lost->loss == Loss::stalled   ? notResponding()
                                                                       : driverStopped());
            return;
        }
        const Reply& reply = std::get<Reply>(event);
        if (const auto* opened = std::get_if<Opened>(&reply)) {
            self->sessionReady(opened->units);
        } else if (const auto* failed = std::get_if<OpenFailed>(&reply)) {
            self->sessionOpen_ = false;
            Q_EMIT self->sessionOpened(failed->text);
        }
    });
}

void WorkerScannerDevice::sessionReady(std::vector<SaneUnitSetup> units) {
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

const SaneUnitSetup* WorkerScannerDevice::unitOfType(ScannerUnit::Type type) const {
    const auto found =
        std::find_if(units_.begin(), units_.end(),
                     [type](const SaneUnitSetup& unit) { return unit.unit.type == type; });
    return found == units_.end() ? nullptr : &*found;
}

QList<ScannerUnit::Type> WorkerScannerDevice::availableUnitTypes() const {
    QList<ScannerUnit::Type> types;
    for (const SaneUnitSetup& unit : units_) {
        types.append(unit.unit.type);
    }
    return types;
}

std::optional<ScannerUnit> WorkerScannerDevice::selectedUnit() const {
    if (!selected_) {
        return std::nullopt;
    }
    if (const SaneUnitSetup* unit = unitOfType(*selected_)) {
        return unit->unit;
    }
    return std::nullopt;
}

void WorkerScannerDevice::requestSelectUnit(ScannerUnit::Type type) {
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

void WorkerScannerDevice::requestScan(const ScanConfiguration& configuration) {
    const SaneUnitSetup* unit = selected_ ? unitOfType(*selected_) : nullptr;
    if (!sessionOpen_ || !unit) {
        later([this] {
            Q_EMIT scanCompleted(QStringLiteral("The scanner has no source selected."));
        });
        return;
    }
    scanning_ = true;
    QPointer<WorkerScannerDevice> self(this);
    const quint64 scan = ++scan_;
    worker_->submit(StartScan{entry_.name, *unit, configuration, worker_->settings().options},
                    [self, scan, configuration](const ScannerWorkerClient::Event& event) {
                        if (self && self->scan_ == scan) {
                            self->scanEvent(event, configuration);
                        } else if (std::holds_alternative<ScannerWorkerClient::Lost>(event)) {
                            removePartialFiles(configuration);
                        }
                    });
}

void WorkerScannerDevice::scanEvent(const ScannerWorkerClient::Event& event,
                                    const ScanConfiguration& configuration) {
    if (const auto* reply = std::get_if<Reply>(&event)) {
        if (const auto* page = std::get_if<PageWritten>(reply)) {
            Step step;
            step.lastByte =
                std::chrono::steady_clock::time_point(std::chrono::nanoseconds(page->lastByteAt));
            step.page = QtConcurrent::run(
                &adopter_, [folder = configuration.downloadsDirectory.toLocalFile(),
                            base = configuration.documentName, path = page->path] {
                    auto adopted = WorkerPageFile::adopt(folder, base, path);
                    return adopted ? std::optional<QUrl>(adopted.value()) : std::nullopt;
                });
            step.configuration = configuration;
            QFuture<std::optional<QUrl>> future = *step.page;
            steps_.push_back(std::move(step));
            future.then(this, [this](const std::optional<QUrl>&) { deliverSteps(); });
            return;
        }
        if (!std::holds_alternative<ScanEnded>(*reply)) {
            return; // progress
        }
    }
    scanning_ = false; // nothing left to cancel
    steps_.push_back({std::nullopt, {}, event, configuration});
    deliverSteps();
}

void WorkerScannerDevice::deliverSteps() {
    while (!steps_.empty() && (!steps_.front().page || steps_.front().page->isFinished())) {
        const Step step = std::move(steps_.front());
        steps_.pop_front();
        if (step.end) {
            scanEnded(*step.end, step.configuration);
            continue;
        }
        const std::optional<QUrl> file = step.page->result();
        if (!file) {
            distrust(step.configuration);
            return;
        }
        Q_EMIT pageRead(*file, step.lastByte);
        Q_EMIT fileWritten(*file);
    }
}

void WorkerScannerDevice::distrust(const ScanConfiguration& configuration) {
    // Nothing more the worker says about this scan counts; it is replaced.
    steps_.clear();
    ++scan_;
    scanning_ = false;
    sessionOpen_ = false;
    worker_->distrust();
    removePartialFiles(configuration);
    Q_EMIT removed();
}

void WorkerScannerDevice::scanEnded(const ScannerWorkerClient::Event& event,
                                    const ScanConfiguration& configuration) {
    if (const auto* lost = std::get_if<ScannerWorkerClient::Lost>(&event)) {
        scanning_ = false;
        sessionOpen_ = false;
        removePartialFiles(configuration);
        switch (lost->loss) {
        case Loss::stalled:
            Q_EMIT errorEncountered(notResponding());
            break;
        case Loss::died:
            Q_EMIT removed();
            break;
        case Loss::unavailable:
            Q_EMIT scanCompleted(lost->text);
            break;
        }
        return;
    }
    const auto& ended = std::get<ScanEnded>(std::get<Reply>(event));
    scanning_ = false;
    if (ended.lost) {
        sessionOpen_ = false;
        Q_EMIT removed();
        return;
    }
    if (ended.error) {
        // Whatever went wrong, the next scan looks at the device afresh.
        sessionOpen_ = false;
    }
    Q_EMIT scanCompleted(ended.cancelled ? QStringLiteral("The scan was cancelled.") : ended.error);
}

void WorkerScannerDevice::requestCancel() {
    if (scanning_) {
        worker_->cancelScan();
    }
}

void WorkerScannerDevice::markRemoved() {
    sessionOpen_ = false;
    Q_EMIT removed();
}
