#pragma once

#include <QImage>
#include <QRgb>

#include <optional>

// Straightens a skewed page: turns it back by the skew SkewDetector
// measures, keeping its size in pixels (the content is turned about the
// page's centre; what turns out of the page is cut off) and filling the
// corners that turn in with the page's background colour.
//
// Stateless; safe to call from any thread.
class Straightener {
public:
    // Skews smaller than this, in degrees, are left alone: they move no
    // pixel of an A4 page at 300 dpi by more than about three pixels.
    static constexpr double minDegrees = 0.1;

    struct Straightened {
        QImage image;
        // The skew taken out: the content was turned clockwise by this.
        double degrees = 0;
    };

    // The image straightened, in its own format (see below); none when it
    // has no measurable skew (SkewDetector finds none, or less than
    // minDegrees), and then the image is to be left exactly as it is. A null
    // image (memory ran out) also gives none. The image is turned in place
    // when the caller hands it over (std::move) and holds no other copy.
    static std::optional<Straightened> straightened(QImage image, double dpi);

    // The image with its content turned clockwise by `degrees` about its
    // centre, each pixel interpolated bilinearly from the four nearest, and
    // what lies outside the image taken as `fill`. The result has the
    // image's size and resolution fields and the format ImageFile::normalised
    // gives, except that transparency is flattened onto white (an ARGB32
    // image gives RGB32); a 1-bit image is turned in grey and thresholded
    // again. The pixels are turned in place when they are the image's own
    // (handed over with std::move, nobody else holding them), and take
    // only a few hundred extra rows of memory; otherwise they are copied
    // first. Null when memory runs out.
    static QImage rotated(QImage image, double degrees, QRgb fill);

    // The colour of the page round its edge (the median, channel by
    // channel, of its outermost pixels): the paper's, or the scanner's
    // background where the paper does not reach the edge. Opaque; white for
    // a null image.
    static QRgb backgroundColour(const QImage& image);
};
