#pragma once

#include "Result.h"
#include "scanning/ScanConfiguration.h"

#include <sane/sane.h>

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

// Collects the frames SANE delivers for one page and turns them into an
// image. Copes with what real backends send: rows padded beyond their pixels,
// colour in one frame or in three (red, green, blue), a height that was not
// known in advance or turned out shorter than announced, 1-bit rows (1 =
// black) and 16-bit samples in host byte order.
class SanePageAssembler {
public:
    void addFrame(const SANE_Parameters& parameters, QByteArray data);
    bool isEmpty() const { return frames_.empty(); }

    // The page, as 1-bit black and white (a two-colour palette with black as
    // black), 8-bit grey, or RGB colour as the device delivered it: a colour
    // page is only ever made from colour data. An error sentence when the
    // data cannot make a page.
    Result<QImage, QString> image(ScanConfiguration::PixelType wanted) const;

private:
    struct Frame {
        SANE_Parameters parameters;
        QByteArray data;
    };

    Result<QImage, QString> decode() const;
    static Result<QImage, QString> decodeSingle(const Frame& frame);
    static Result<QImage, QString> decodeThree(const Frame& red, const Frame& green,
                                               const Frame& blue);

    std::vector<Frame> frames_;
};
