#pragma once

#include "scanning/worker/BackendOption.h"

#include <QList>
#include <QString>

#include <chrono>

// How the application drives its scanner worker; the defaults suit real
// scanners.
struct WorkerSettings {
    // The stall limit unless PAPERLARK_SCANNER_STALL_SECONDS gives another
    // number of seconds. Lamp warm-up and calibration on older flatbeds take
    // up to about a minute.
    static std::chrono::milliseconds defaultStallLimit();

    // The worker executable.
    QString workerPath;
    // How often local scanners are looked for while browsing.
    std::chrono::milliseconds pollInterval{3000};
    // How long the worker may go without a sign of life while it works on a
    // request (no image data during a scan, no answer to a listing or an
    // open) before it is taken to hang, killed and replaced.
    std::chrono::milliseconds stallLimit = defaultStallLimit();
    // How long a cancelled scan may take to end before the worker is killed.
    std::chrono::milliseconds cancelLimit{5000};
    // Backend options set during scans, after the scan settings, in this order.
    QList<BackendOption> options;

    // The defaults, with the worker found where the application is installed.
    static WorkerSettings defaults();
};
