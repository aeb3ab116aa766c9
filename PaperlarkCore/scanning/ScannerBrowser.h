#pragma once

#include "scanning/ScannerDevice.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// Finds devices and reports their arrival and departure on the GUI thread.
class ScannerBrowser : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts looking; every device present is reported by deviceAdded, also
    // the ones reported before a stop().
    virtual void start() = 0;
    // Stops reporting changes until the next start().
    virtual void stop() = 0;
    // Why no device can be found at all (the means of looking for them is
    // missing); none when looking works.
    virtual std::optional<QString> problem() const { return std::nullopt; }

Q_SIGNALS:
    void deviceAdded(const std::shared_ptr<ScannerDevice>& device);
    void deviceRemoved(const std::shared_ptr<ScannerDevice>& device);
    // A complete look after start() has been reported, whether or not it
    // found anything.
    void searchCompleted();
};
