#pragma once

#include "pages/PdfImage.h"

#include <QImage>

#include <optional>

// A colour or grey page in the three parts of a compact PDF page (see
// PageLayers): the background and the ink's colours as JPEGs at a third of
// the resolution, and the 1-bit mask through which the colours are drawn, at
// full resolution (CCITT G4, as black-and-white pages have
// it). A page is drawn as the
// background, then the foreground through the mask, each over the whole
// page box.
struct CompactPage {
    PdfImage background;
    PdfImage foreground;
    PdfImage mask; // 1-bit, 0 marks where the foreground shows

    qint64 bytes() const;

    // The page made compact, when PageLayers splits it and the parts, at the
    // JPEG quality percentage, take at most half the bytes of the JPEG the
    // page would otherwise go in as: `wholeBytes` when that is known (a
    // stored JPEG that goes in as it is), else the page encoded as
    // PdfImage::jpeg does. Nothing otherwise, or when encoding fails.
    static std::optional<CompactPage> make(const QImage& page, int qualityPercent,
                                           std::optional<qint64> wholeBytes = std::nullopt);
};
