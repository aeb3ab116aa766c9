#pragma once

#include "scanning/ScanConfiguration.h"
#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SanePageAssembler.h"
#include "scanning/sane/SaneUnitSetup.h"
#include "scanning/sane/SaneWorker.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

// One scan on the SANE thread: opens the device, selects and configures the
// unit, reads pages until the flatbed's one page is done or the feeder is
// empty, writes each page as it arrives, and closes the device again.
class SaneScanJob {
public:
    // Called on the SANE thread; each is expected to hand over to the GUI
    // thread. Exactly one of completed and lost ends every job that is not
    // abandoned.
    struct Events {
        std::function<void(const QUrl&)> fileWritten;
        // The scan ended; with an error sentence when it stopped early.
        std::function<void(const std::optional<QString>&)> completed;
        // The device no longer answers.
        std::function<void()> lost;
    };

    SaneScanJob(QByteArray deviceName, SaneUnitSetup unit, ScanConfiguration configuration,
                QList<std::pair<QByteArray, QByteArray>> extraOptions,
                std::shared_ptr<const std::atomic<bool>> abandoned, Events events);

    void run(SaneWorker& worker);

private:
    bool shouldStop(const SaneWorker& worker) const;
    void configure(SaneHandle& handle) const;
    SANE_Status readPage(SaneWorker& worker, SaneHandle& handle, SanePageAssembler& page) const;
    bool stillAnswers(SaneWorker& worker) const;

    QByteArray deviceName_;
    SaneUnitSetup unit_;
    ScanConfiguration configuration_;
    QList<std::pair<QByteArray, QByteArray>> extraOptions_;
    std::shared_ptr<const std::atomic<bool>> abandoned_;
    Events events_;
};
