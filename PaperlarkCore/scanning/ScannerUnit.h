#pragma once

#include <QList>
#include <QSizeF>

// One way a scanner takes paper in (its glass or its document feeder), as the
// device reports it once a session is open.
struct ScannerUnit {
    enum class Type { flatbed = 0, documentFeeder = 3 };

    Type type = Type::flatbed;
    // Offered resolutions in dots per inch, ascending, without repeats.
    QList<int> supportedResolutions;
    // Largest scan area in inches; empty when the device does not say
    // (document feeders usually do not).
    QSizeF physicalSize;
    bool supportsDuplexScanning = false;

    bool operator==(const ScannerUnit&) const = default;
};
