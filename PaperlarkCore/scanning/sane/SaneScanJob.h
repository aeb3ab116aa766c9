#pragma once

#include "scanning/ScanConfiguration.h"
#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SanePageAssembler.h"
#include "scanning/sane/SaneUnitSetup.h"
#include "scanning/worker/BackendOption.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// One scan: opens the device, selects and configures the unit, reads pages
// until the flatbed's one page is done or the feeder is empty, writes each
// page file as it is complete, and closes the device again.
class SaneScanJob {
public:
    struct Events {
        // A page file is complete under its final name; its last byte was
        // read at lastByte.
        std::function<void(const QString& path, std::chrono::steady_clock::time_point lastByte)>
            pageWritten;
        // Image data arrived (bytes so far in this page).
        std::function<void(qint64 bytes)> dataArrived;
        // Asked between reads: true ends the scan after the page in progress
        // is abandoned.
        std::function<bool()> cancelled;
    };

    // How the scan ended.
    struct End {
        // Why the scan stopped early; none when it ran to its end.
        std::optional<QString> error;
        // The device no longer answers at all.
        bool lost = false;
        bool cancelled = false;
    };

    SaneScanJob(QByteArray deviceName, SaneUnitSetup unit, ScanConfiguration configuration,
                QList<BackendOption> options, Events events);

    // Scans; `ended` hears the outcome as soon as it is known, which is
    // before the device is closed (unless telling a failed device from a
    // gone one needs it closed first): ending a scan can hang in the
    // backend, and the outcome must not wait for that. run() returns once
    // the device is closed.
    void run(const std::function<void(const End&)>& ended);

private:
    // Sets mode, depth, resolution and area, then the first sheet's backend
    // options; an error sentence when the device refuses a setting it offers.
    std::optional<QString> configure(SaneHandle& handle) const;
    void applyOptions(SaneHandle& handle, int sheet) const;
    // Reads one page. `started` holds when the page's last frame was started
    // while that frame is unfinished, and is empty once the page is complete.
    SANE_Status readPage(SaneHandle& handle, SanePageAssembler& page,
                         std::chrono::steady_clock::time_point& lastByte,
                         std::optional<std::chrono::steady_clock::time_point>& started) const;
    bool stillAnswers() const;

    QByteArray deviceName_;
    SaneUnitSetup unit_;
    ScanConfiguration configuration_;
    QList<BackendOption> options_;
    Events events_;
};
