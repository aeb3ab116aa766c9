#pragma once

#include "scanning/ScannerBrowser.h"

#include <QList>

#include <memory>

// A browser whose devices are plugged in and out by the test.
class FakeScannerBrowser : public ScannerBrowser {
    Q_OBJECT
public:
    using ScannerBrowser::ScannerBrowser;

    // Reports every plugged-in device, then the end of the search (unless
    // the search is held).
    void start() override;
    void stop() override { running_ = false; }
    bool isRunning() const { return running_; }
    int starts() const { return starts_; }

    // Reported at once while running, otherwise at the next start().
    void plugIn(const std::shared_ptr<ScannerDevice>& device);
    // Reported by the browser (while running) and by the device itself.
    void unplug(const std::shared_ptr<ScannerDevice>& device);

    // While held, start() does not report the end of its search;
    // completeSearch() does, and releases the hold.
    void holdSearch() { held_ = true; }
    void completeSearch();

private:
    QList<std::shared_ptr<ScannerDevice>> devices_;
    bool held_ = false;
    bool running_ = false;
    int starts_ = 0;
};
