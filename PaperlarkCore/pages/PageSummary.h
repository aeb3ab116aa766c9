#pragma once

#include "pages/PngEncoder.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// What the page list shows of a page, worked out once from its pixels: the
// thumbnail and the share of the page covered by ink. A PNG page file can
// carry it in a private chunk, so that whoever takes the file on as a page
// needs neither to decode nor to measure it again.
class PageSummary {
public:
    // ScannedPage::makeThumbnail of the page.
    QImage thumbnail;
    // BlankPageDetector::inkShare of the page.
    double inkShare = 0;

    // The summary of an image in one of the formats ImageFile::normalised
    // gives, at `dpi` (0 when unknown).
    static PageSummary of(const QImage& image, double dpi);

    // The chunk's type: ancillary, private, and not safe to copy into an
    // edited image (it describes the pixels).
    static constexpr char chunkType[] = "plSM";
    // The summary as a PNG chunk; none when the thumbnail is not the page
    // list's size (an image too odd to have one).
    std::optional<PngEncoder::Chunk> chunk() const;

    // What a PNG file carrying a summary states before its image data.
    struct Stored;
    // Reads the beginning of the PNG file at `path`. None unless the file is
    // a PNG in one of the layouts PngEncoder writes, of a size every output
    // can take, with an intact summary chunk before its image data.
    static std::optional<Stored> read(const QString& path);

    // The same for a whole PNG file in memory, believing nothing it says
    // until the pixels bear it out: the file must be in the form the page
    // writer gives scanned pages (1-bit or 8-bit grey or 8-bit RGB; the
    // chunks IHDR, pHYs, the summary, IDAT and IEND in that order and
    // nothing else; every checksum right), its image data must inflate to
    // exactly the rows its header declares, PageRule must take its size and
    // resolution, and its summary must be the one its pixels give (the page
    // is decoded and measured again). `file` is used up on the way.
    static std::optional<Stored> verified(QByteArray file);
};

struct PageSummary::Stored {
    QSize size;
    // From the pHYs chunk, when the file has one.
    std::optional<double> dpi;
    PageSummary summary;
};
