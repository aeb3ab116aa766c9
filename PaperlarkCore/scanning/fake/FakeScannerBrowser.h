#pragma once

#include "scanning/ScannerBrowser.h"

#include <QList>

#include <memory>

// A browser whose devices are plugged in and out by the test.
class FakeScannerBrowser : public ScannerBrowser {
    Q_OBJECT
public:
    using ScannerBrowser::ScannerBrowser;

    // Reports every plugged-in device, then the end of the search.
    void start() override;
    void stop() override { running_ = false; }
    bool isRunning() const { return running_; }
    int starts() const { return starts_; }

    // Reported at once while running, otherwise at the next start().
    void plugIn(const std::shared_ptr<ScannerDevice>& device);
    // Reported by the browser (while running) and by the device itself.
    void unplug(const std::shared_ptr<ScannerDevice>& device);

private:
    QList<std::shared_ptr<ScannerDevice>> devices_;
    bool running_ = false;
    int starts_ = 0;
};
