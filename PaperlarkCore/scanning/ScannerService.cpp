#include "scanning/ScannerService.h"

#include "scanning/DeviceListing.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QUuid>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

QString randomIdentifier() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// The table key and the published identifier follow the same rule, but are
// worked out separately: a device with neither an identifier nor a name gets
// a new random value each time.
QString identifierOf(const ScannerDevice& device) {
    if (const auto id = device.persistentId()) {
        return *id;
    }
    if (const auto name = device.name()) {
        return *name;
    }
    return randomIdentifier();
}

ScannerDeviceInfo infoOf(const ScannerDevice& device) {
    return {identifierOf(device), device.name().value_or(QStringLiteral("Scanner"))};
}

// The offered resolution nearest to the wanted one; on a tie the smaller.
std::optional<int> nearestResolution(QList<int> offered, int wanted) {
    if (offered.isEmpty()) {
        return std::nullopt;
    }
    if (offered.contains(wanted)) {
        return wanted;
    }
    std::sort(offered.begin(), offered.end());
    int best = offered.first();
    for (const int value : offered) {
        if (std::abs(value - wanted) < std::abs(best - wanted)) {
            best = value;
        }
    }
    return best;
}

ScanConfiguration::PixelType pixelTypeFor(ColourMode colour) {
    switch (colour) {
    case ColourMode::colour:
        return ScanConfiguration::PixelType::rgb;
    case ColourMode::greyscale:
        return ScanConfiguration::PixelType::grey;
    case ColourMode::blackAndWhite:
        return ScanConfiguration::PixelType::blackAndWhite;
    }
    return ScanConfiguration::PixelType::rgb;
}

int bitDepthFor(ColourMode colour) {
    return colour == ColourMode::blackAndWhite ? 1 : 8;
}

} // namespace

ScannerService::ScannerService(QObject* parent)
    : ScannerService(std::make_unique<WorkerScannerBrowser>(), parent) {}

ScannerService::ScannerService(std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), browser_(std::move(browser)) {
    connect(browser_.get(), &ScannerBrowser::deviceAdded, this, &ScannerService::deviceAdded);
    connect(browser_.get(), &ScannerBrowser::deviceRemoved, this, &ScannerService::deviceRemoved);
    // A finished search republishes the list even when nothing changed, so
    // that whoever shows "Looking for scanners..." hears back.
    connect(browser_.get(), &ScannerBrowser::searchCompleted, this,
            [this] { rebuildDeviceList(true); });
}

ScannerService::~ScannerService() {
    // Devices may outlive the service (the browser or a pending job holds
    // them); they must not call back into it.
    for (const auto& device : delegated_) {
        device->disconnect(this);
    }
    browser_->disconnect(this);
}

void ScannerService::startBrowsing() {
    browser_->start();
}

void ScannerService::stopBrowsing() {
    browser_->stop();
}

void ScannerService::refresh() {
    stopBrowsing();
    startBrowsing();
}

// ---- Discovery ----------------------------------------------------------------

void ScannerService::deviceAdded(const std::shared_ptr<ScannerDevice>& device) {
    if (!device || device->kind() != ScannerDevice::Kind::scanner) {
        return;
    }
    scanners_.insert(identifierOf(*device), device);
    rebuildDeviceList();
}

void ScannerService::deviceRemoved(const std::shared_ptr<ScannerDevice>& device) {
    if (device && device->kind() == ScannerDevice::Kind::scanner) {
        if (const auto id = device->persistentId()) {
            scanners_.remove(*id);
        } else {
            scanners_.removeIf([&](const auto& entry) { return entry.value() == device; });
        }
    }
    rebuildDeviceList();
}

void ScannerService::rebuildDeviceList(bool searchCompleted) {
    QList<ScannerDeviceInfo> list;
    list.reserve(scanners_.size());
    for (const auto& device : std::as_const(scanners_)) {
        list.append(infoOf(*device));
    }
    list = DeviceListing::forDisplay(std::move(list));
    QMetaObject::invokeMethod(
        this,
        [this, list = std::move(list), searchCompleted] {
            listed_ = listed_ || searchCompleted;
            devices_ = list;
            Q_EMIT devicesChanged(devices_);
        },
        Qt::QueuedConnection);
}

// ---- Scanning -----------------------------------------------------------------

void ScannerService::scan(const ScanRequest& request, const QUrl& folder, Completion completion) {
    if (pending_) {
        completion(ScannerFailure::notReady());
        return;
    }

    std::shared_ptr<ScannerDevice> device = scanners_.value(request.deviceId);
    if (!device) {
        if (scanners_.isEmpty()) {
            completion(ScannerFailure::noDevice());
            return;
        }
        device = scanners_.first();
    }

    const QString path = folder.toLocalFile();
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error || path.isEmpty()) {
        const QString reason = error ? QString::fromStdString(error.message())
                                     : QStringLiteral("it is not a local folder");
        completion(ScannerFailure::folderNotCreated(QStringLiteral("The folder ") + path +
                                                    QStringLiteral(" could not be created: ") +
                                                    reason + QStringLiteral(".")));
        return;
    }

    pending_ = PendingScan{request, folder, std::move(completion), {}, false, nullptr, false};
    setScanning(true);
    becomeDelegate(device);

    if (device->hasOpenSession()) {
        selectFunctionalUnit(device.get());
    } else {
        device->requestOpenSession();
    }
}

void ScannerService::becomeDelegate(const std::shared_ptr<ScannerDevice>& device) {
    if (std::find(delegated_.begin(), delegated_.end(), device) != delegated_.end()) {
        return;
    }
    delegated_.push_back(device);
    ScannerDevice* raw = device.get();
    connect(raw, &ScannerDevice::sessionOpened, this,
            [this, raw](const std::optional<QString>& error) { sessionOpened(raw, error); });
    connect(raw, &ScannerDevice::unitSelected, this,
            [this, raw](const std::optional<QString>& error) { unitSelected(raw, error); });
    connect(raw, &ScannerDevice::fileWritten, this, &ScannerService::fileWritten);
    connect(raw, &ScannerDevice::scanCompleted, this, &ScannerService::scanCompleted);
    connect(raw, &ScannerDevice::errorEncountered, this, &ScannerService::errorEncountered);
    connect(raw, &ScannerDevice::removed, this, [this, raw] { deviceWentAway(raw); });
}

void ScannerService::cancel() {
    if (!pending_ || pending_->cancelRequested) {
        return;
    }
    pending_->cancelRequested = true;
    // Before the scan itself is requested, the next answer of the device
    // ends it (see finishIfCancelled); afterwards the device is asked to stop
    // and its end brings every complete page.
    if (pending_->scanning) {
        pending_->scanning->requestCancel();
    }
}

bool ScannerService::finishIfCancelled() {
    if (pending_ && pending_->cancelRequested) {
        finish(ScannerFailure::cancelled());
        return true;
    }
    return false;
}

void ScannerService::sessionOpened(ScannerDevice* device, const std::optional<QString>& error) {
    if (finishIfCancelled()) {
        return;
    }
    if (error) {
        finish(ScannerFailure::deviceError(QStringLiteral("The scanner could not be opened: ") +
                                           *error));
        return;
    }
    if (device->kind() == ScannerDevice::Kind::scanner) {
        selectFunctionalUnit(device);
    }
}

void ScannerService::selectFunctionalUnit(ScannerDevice* device) {
    if (!pending_) {
        return;
    }
    const bool feeder = usesFeeder(pending_->request.source);
    const auto wanted = feeder ? ScannerUnit::Type::documentFeeder : ScannerUnit::Type::flatbed;
    if (!device->availableUnitTypes().contains(wanted)) {
        finish(ScannerFailure::unsupportedSource(feeder));
        return;
    }
    const auto selected = device->selectedUnit();
    if (selected && selected->type == wanted) {
        configureAndScan(device);
    } else {
        device->requestSelectUnit(wanted);
    }
}

void ScannerService::unitSelected(ScannerDevice* device, const std::optional<QString>& error) {
    if (finishIfCancelled()) {
        return;
    }
    if (error) {
        finish(ScannerFailure::deviceError(
            QStringLiteral("The scan source could not be selected: ") + *error));
        return;
    }
    if (pending_) {
        configureAndScan(device);
    }
}

void ScannerService::configureAndScan(ScannerDevice* device) {
    if (!pending_) {
        return;
    }
    const ScanRequest& request = pending_->request;
    const auto unit = device->selectedUnit();
    if (!unit) {
        finish(ScannerFailure::unsupportedSource(usesFeeder(request.source)));
        return;
    }

    ScanConfiguration configuration;
    configuration.resolution = nearestResolution(unit->supportedResolutions, request.dpi);
    configuration.pixelType = pixelTypeFor(request.colour);
    configuration.bitDepth = bitDepthFor(request.colour);
    if (unit->type == ScannerUnit::Type::documentFeeder) {
        configuration.documentType = request.paper;
        configuration.duplexScanningEnabled =
            request.source == ScanSource::feederDuplex && unit->supportsDuplexScanning;
    } else {
        const PaperInches paper = inches(request.paper);
        const QSizeF physical = unit->physicalSize;
        const double width =
            physical.width() > 0 && physical.width() < paper.width ? physical.width() : paper.width;
        const double height = physical.height() > 0 && physical.height() < paper.height
                                  ? physical.height()
                                  : paper.height;
        configuration.scanArea = QRectF(0, 0, width, height);
    }
    configuration.downloadsDirectory = pending_->folder;
    configuration.documentName = QStringLiteral("page");
    pending_->scanning = device;
    device->requestScan(configuration);
}

void ScannerService::fileWritten(const QUrl& file) {
    if (!pending_) {
        return;
    }
    pending_->urls.append(file);
    const int count = static_cast<int>(pending_->urls.size());
    QMetaObject::invokeMethod(
        this,
        [this, file, count] {
            if (onPageScanned_) {
                onPageScanned_(count);
            }
            Q_EMIT pageScanned(file, count);
        },
        Qt::QueuedConnection);
}

void ScannerService::scanCompleted(const std::optional<QString>& error) {
    if (finishIfCancelled()) {
        return;
    }
    if (error) {
        // Pages before the error are handed over with it (see finish): a
        // feeder run that jams after some sheets is not a complete scan.
        finish(ScannerFailure::deviceError(*error));
    } else {
        finish(pending_ ? pending_->urls : QList<QUrl>{});
    }
}

void ScannerService::errorEncountered(const QString& error) {
    if (!finishIfCancelled()) {
        finish(ScannerFailure::deviceError(error));
    }
}

void ScannerService::deviceWentAway(ScannerDevice* device) {
    if (pending_ && device->kind() == ScannerDevice::Kind::scanner && !finishIfCancelled()) {
        finish(ScannerFailure::deviceError(
            QStringLiteral("The scanner was disconnected during the scan.")));
    }
}

void ScannerService::finish(ScanResult result) {
    if (!pending_ || pending_->finished) {
        return;
    }
    pending_->finished = true;
    // A scan that breaks off (scanner unplugged, I/O error) after some pages
    // still hands those pages over with the failure, so none is lost.
    if (!result && !pending_->urls.isEmpty()) {
        result = result.failure().withDeliveredPages(pending_->urls);
    }
    Completion completion = std::move(pending_->completion);
    pending_.reset();
    setScanning(false);
    // The completion outlives the service if it has to: it is called even
    // when the service is gone by the time the event loop gets to it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), result = std::move(result)] { completion(result); },
        Qt::QueuedConnection);
}

void ScannerService::setScanning(bool scanning) {
    if (isScanning_ == scanning) {
        return;
    }
    isScanning_ = scanning;
    Q_EMIT isScanningChanged(isScanning_);
}
