#include "scanning/worker/WorkerSettings.h"

#include "scanning/worker/ScannerWorkerLocation.h"

#include <QtGlobal>

std::chrono::milliseconds WorkerSettings::defaultStallLimit() {
    bool ok = false;
    const double seconds = qEnvironmentVariable("PAPERLARK_SCANNER_STALL_SECONDS").toDouble(&ok);
    if (ok && seconds > 0 && seconds < 24 * 3600) {
        return std::chrono::milliseconds(qint64(seconds * 1000));
    }
    return std::chrono::seconds(60);
}

WorkerSettings WorkerSettings::defaults() {
    WorkerSettings settings;
    settings.workerPath = ScannerWorkerLocation::find();
    return settings;
}
