#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// A page image compressed the way a PDF image XObject carries it: colour and
// grey as JPEG (DCTDecode), black and white as CCITT G4 (CCITTFaxDecode),
// deflated once more where that makes it smaller, or, where G4 would be
// larger, as Flate-compressed bits.
struct PdfImage {
    enum class Filter { dct, ccittG4, flate };
    enum class Colours { rgb, grey };

    QByteArray data;
    QSize pixels;
    Colours colours = Colours::rgb;
    int bitsPerComponent = 8;
    Filter filter = Filter::dct;
    // The data is the filter's coding deflated once more (FlateDecode first,
    // then the filter, when read).
    bool deflated = false;

    bool isNull() const { return data.isEmpty(); }

    // A colour or grey image (any format JpegEncoder takes) at a JPEG quality
    // percentage; a null PdfImage when encoding fails.
    static PdfImage jpeg(const QImage& image, double dpi, int qualityPercent);
    // A stored JPEG of `pixels`, as it is, when it is no finer than the JPEG
    // quality percentage asks (see JpegPassThrough); a null PdfImage when it
    // does not qualify (the caller then decodes and encodes).
    static PdfImage fromJpeg(const QByteArray& jpeg, QSize pixels, int qualityPercent);
    // A Format_Mono image (0 = black), losslessly; a null PdfImage on failure.
    static PdfImage mono(const QImage& image);
    // A Format_Mono mask of text and line art as CCITT G4, deflated once
    // more where that helps; Flate alone only when G4 fails (trying it as
    // mono() does would take longer than G4 itself). Null on failure.
    static PdfImage mask(const QImage& image);
};
