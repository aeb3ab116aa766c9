#pragma once

#include <QByteArray>
#include <QImage>

// CCITT Group 4 (T.6) compression of black-and-white images, made with
// libtiff: the raw code stream, as a PDF CCITTFaxDecode filter with K -1
// expects it (rows not byte-aligned, no end-of-block, white runs first,
// decoding to 0 for black).
class CcittG4 {
public:
    // A Format_Mono image (0 = black). Empty on failure (wrong format,
    // memory, a libtiff error).
    static QByteArray encode(const QImage& mono);
};
