#pragma once

#include "pages/CompactPage.h"
#include "pages/PdfImage.h"
#include "pages/TextLayer.h"

#include <QSizeF>
#include <QString>

#include <memory>

class QIODevice;

// A PDF document built with libqpdf. Every page shows one image over exactly
// its page box (fractional sizes in points are kept: 595.2 x 841.92 stays so),
// or the parts of a compact page, each over that same box, without any clip,
// and may carry an invisible text layer on top. Images are passed through as
// they were compressed.
//
// Pages are added one at a time; their image data goes to a temporary spool
// file straight away, and is read back page by page while the document is
// written, so memory stays near one page however long the document.
class PdfWriter {
public:
    PdfWriter();
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // Adds a page of the given size in points. A text layer that cannot be
    // read is left out (the page keeps its image): see droppedTextLayers().
    // False when the image is null or cannot be spooled.
    bool addPage(QSizeF pageSize, const PdfImage& image, const TextLayer* text = nullptr);
    // The same for a compact page: its background, then its foreground
    // through its mask (an explicit mask: the foreground shows where the
    // mask's samples are 0). Viewers that can smooth the two reduced images
    // as they enlarge them. False when a part is null or cannot be spooled.
    bool addPage(QSizeF pageSize, const CompactPage& page, const TextLayer* text = nullptr);

    // Writes the whole document to the device, with `producer` as its
    // producer and the current time as its creation date. False when
    // anything fails (the device's content is then incomplete).
    bool write(QIODevice& device, const QString& producer);

    int pageCount() const;
    int droppedTextLayers() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
