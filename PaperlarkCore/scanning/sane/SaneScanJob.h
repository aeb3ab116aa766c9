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
        // Called, with the device closed, when opening it or starting its
        // first page failed in a way a dropped connection explains: starts
        // the scanner library afresh, so that the next open connects again,
        // and says whether that worked. The scan is then tried once more.
        // Without it, such a failure is reported at once.
        std::function<bool()> reconnect;
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

    // Scans; `ended` hears the outcome, once, as soon as it is known, which
    // is before the device is closed (unless telling a failed device from a
    // gone one needs it closed first): ending a scan can hang in the
    // backend, and the outcome must not wait for that. run() returns once
    // the device is closed. A device that cannot be opened, or dropped its
    // connection before its first page started, ends the scan with an error
    // that says it cannot be reached (not with `lost`: no scan was cut off).
    void run(const std::function<void(const End&)>& ended);

private:
    // One try at the scan. False, without a word to `ended`, when `mayRetry`
    // and the device could not be opened or started for a reason a dropped
    // connection explains; the device is closed by then.
    bool attempt(const std::function<void(const End&)>& ended, bool mayRetry);
    // Sets mode, depth, resolution and area, then the first sheet's backend
    // options; an error sentence when the device refuses a setting it offers.
    std::optional<QString> configure(SaneHandle& handle) const;
    void applyOptions(SaneHandle& handle, int sheet) const;
    // Reads one page. `started` holds when the page's last frame was started
    // while that frame is unfinished, and is empty once the page is complete;
    // `anyFrameStarted` is set once a frame of the page has started.
    SANE_Status readPage(SaneHandle& handle, SanePageAssembler& page,
                         std::chrono::steady_clock::time_point& lastByte,
                         std::optional<std::chrono::steady_clock::time_point>& started,
                         bool& anyFrameStarted) const;
    bool stillAnswers() const;

    QByteArray deviceName_;
    SaneUnitSetup unit_;
    ScanConfiguration configuration_;
    QList<BackendOption> options_;
    Events events_;
};
