#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Realistic test pages for the benchmark: text-like strokes and a photo-like
// block on off-white paper, with the Gaussian sensor noise of a flatbed
// scanner (standard deviation 3 grey levels), as colour, grey or 1-bit A4
// pages at a given resolution.
class PageGenerator {
public:
    enum class Kind { colour, grey, mono };

    // The standard deviation of the sensor noise, in grey levels; it is
    // independent from sample to sample.
    static constexpr double noiseSigma = 3.0;

    static QImage page(Kind kind, int dpi, unsigned seed);
    // An A4 page of printed text only (11-point DejaVu Sans), scanned; the
    // words on it in reading order.
    static QImage textPage(int dpi, Kind kind);
    static QStringList textPageWords(int dpi);
    // An A4 photograph, scanned.
    static QImage photoPage(int dpi, Kind kind, unsigned seed);
    // A drawn RGB32 page as the scanner delivers it: with sensor noise, and
    // for 1-bit pages thresholded.
    static QImage scanned(QImage image, Kind kind, unsigned seed);

    static QString name(Kind kind);
    // A4 in pixels at the resolution: 2480 x 3508 at 300 dpi.
    static QSize a4(int dpi);
};
