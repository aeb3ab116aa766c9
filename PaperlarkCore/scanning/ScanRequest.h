#pragma once

#include "settings/ColourMode.h"
#include "settings/PaperSize.h"
#include "settings/ScanSource.h"

#include <QString>

// What one scan asks of the scanner service: which scanner, which source,
// colour mode, paper size and resolution. A plain value.
struct ScanRequest {
    // ScannerDeviceInfo::id of the chosen scanner.
    QString deviceId;
    ScanSource source = ScanSource::flatbed;
    ColourMode colour = ColourMode::colour;
    PaperSize paper = PaperSize::a4;
    // Requested resolution in dots per inch.
    int dpi = 300;

    bool operator==(const ScanRequest&) const = default;
};
