#include "scanning/fake/FakeScannerDevice.h"

#include "scanning/PageFileWriter.h"

#include <QFile>
#include <QImage>
#include <QTimer>

FakeScannerDevice::FakeScannerDevice(std::optional<QString> id, std::optional<QString> name,
                                     Kind kind)
    : id_(std::move(id)), name_(std::move(name)), kind_(kind),
      units_{
          {ScannerUnit::Type::flatbed, {100, 150, 200, 300, 400, 600}, QSizeF(8.5, 11.69), false},
          {ScannerUnit::Type::documentFeeder, {100, 150, 200, 300, 400, 600}, QSizeF(), false}},
      steps_{Step::page(), Step::complete()} {}

void FakeScannerDevice::setUnits(QList<ScannerUnit> units) {
    units_ = std::move(units);
    selected_.reset();
}

void FakeScannerDevice::requestOpenSession() {
    ++openRequests_;
    QTimer::singleShot(0, this, [this] {
        if (!openError_) {
            sessionOpen_ = true;
            if (!selected_ && !units_.isEmpty()) {
                selected_ = units_.first().type;
            }
        }
        Q_EMIT sessionOpened(openError_);
    });
}

QList<ScannerUnit::Type> FakeScannerDevice::availableUnitTypes() const {
    QList<ScannerUnit::Type> types;
    for (const ScannerUnit& unit : units_) {
        types.append(unit.type);
    }
    return types;
}

std::optional<ScannerUnit> FakeScannerDevice::selectedUnit() const {
    for (const ScannerUnit& unit : units_) {
        if (selected_ && unit.type == *selected_) {
            return unit;
        }
    }
    return std::nullopt;
}

void FakeScannerDevice::requestSelectUnit(ScannerUnit::Type type) {
    ++selectRequests_;
    QTimer::singleShot(0, this, [this, type] {
        if (!selectError_) {
            selected_ = type;
        }
        Q_EMIT unitSelected(selectError_);
    });
}

void FakeScannerDevice::requestScan(const ScanConfiguration& configuration) {
    scans_.append(configuration);
    writer_.emplace(configuration.downloadsDirectory.toLocalFile(),
                    configuration.documentName.isEmpty() ? QStringLiteral("page")
                                                         : configuration.documentName);
    remaining_ = steps_;
    scanRunning_ = true;
    QTimer::singleShot(0, this, &FakeScannerDevice::runSteps);
}

void FakeScannerDevice::requestCancel() {
    ++cancelRequests_;
    if (!scanRunning_) {
        return;
    }
    scanRunning_ = false;
    remaining_.clear();
    QTimer::singleShot(0, this,
                       [this] { Q_EMIT scanCompleted(QStringLiteral("The scan was cancelled.")); });
}

void FakeScannerDevice::resume() {
    QTimer::singleShot(0, this, &FakeScannerDevice::runSteps);
}

void FakeScannerDevice::runSteps() {
    if (remaining_.isEmpty()) {
        return;
    }
    const Step step = remaining_.takeFirst();
    switch (step.action) {
    case Step::Action::page:
        writePage();
        break;
    case Step::Action::brokenPage:
        writePage(true);
        break;
    case Step::Action::complete:
        scanRunning_ = false;
        Q_EMIT scanCompleted(step.error);
        break;
    case Step::Action::fail:
        scanRunning_ = false;
        Q_EMIT errorEncountered(step.error.value_or(QString()));
        break;
    case Step::Action::remove:
        scanRunning_ = false;
        sessionOpen_ = false;
        Q_EMIT removed();
        break;
    case Step::Action::hold:
        return;
    }
    QTimer::singleShot(0, this, &FakeScannerDevice::runSteps);
}

void FakeScannerDevice::writePage(bool broken) {
    const ScanConfiguration configuration = scans_.isEmpty() ? ScanConfiguration{} : scans_.last();
    QImage page(17, 22, QImage::Format_Grayscale8);
    page.fill(200 - 10 * (pagesWritten_ % 10));
    ++pagesWritten_;
    if (!writer_) {
        writer_.emplace(configuration.downloadsDirectory.toLocalFile(), QStringLiteral("page"));
    }
    const auto file = writer_->write(page, configuration.resolution.value_or(0));
    if (!file) {
        return;
    }
    if (broken) {
        QFile spoilt(file.value().toLocalFile());
        if (spoilt.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            spoilt.write("not a picture");
        }
    }
    Q_EMIT fileWritten(file.value());
}
