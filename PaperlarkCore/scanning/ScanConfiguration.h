#pragma once

#include "settings/PaperSize.h"

#include <QRectF>
#include <QString>
#include <QUrl>

#include <optional>

// Everything a device needs to run one scan on its selected unit: the image
// format, the area or document size, and where the page files go.
struct ScanConfiguration {
    enum class PixelType { blackAndWhite = 0, grey = 1, rgb = 2 };

    // Dots per inch; none keeps the unit's current resolution.
    std::optional<int> resolution;
    PixelType pixelType = PixelType::rgb;
    // Bits per sample: 1 for black and white, 8 otherwise.
    int bitDepth = 8;
    // Flatbed only: the area to scan, in inches from the top-left corner.
    std::optional<QRectF> scanArea;
    // Document feeder only: the paper size of the sheets in it.
    std::optional<PaperSize> documentType;
    // Document feeder only: scan both sides of each sheet.
    bool duplexScanningEnabled = false;
    // Folder that receives one PNG file per page.
    QUrl downloadsDirectory;
    // Base of the page file names.
    QString documentName;

    bool operator==(const ScanConfiguration&) const = default;
};
