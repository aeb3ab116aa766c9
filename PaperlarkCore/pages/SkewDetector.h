#pragma once

#include <QImage>

#include <optional>

// Measures how far the content of a scanned page is turned away from
// straight: the angle of its lines of text or, on a page without enough
// text, of the paper's edge against a scanner background of another colour.
//
// The page is reduced to a black-and-white working copy of about 150 dpi
// (ink is what Otsu's method finds darker than the paper). Marks of the size
// of printed characters count as text, unless they lie along the very edge
// of the scan (the shadow of the glass's frame stays straight whatever the
// page does); large dark areas that reach the edge of the scan and are
// evenly coloured count as the scanner's background, and only their edge
// against the paper counts. Photographs, pictures and dust count as neither.
// The angle is the one at which the marks' projection onto the page's side
// is sharpest (the sum of the squared differences of neighbouring rows is
// greatest), and much sharper than at most other angles: first in steps of
// half a degree at 75 dpi, then in steps of a twentieth of a degree at
// 150 dpi, refined between steps by a parabola. Lines of text that run down
// the page (a page turned by a quarter) are measured as well.
//
// Stateless; safe to call from any thread. The image is read once, to make
// the working copy; an A4 colour page at 300 dpi takes a few tens of
// milliseconds.
class SkewDetector {
public:
    // The widest skew measured, in degrees either way.
    static constexpr double maxDegrees = 10;

    // The angle, in degrees, by which the page's content is turned
    // clockwise (negative: anticlockwise), between -maxDegrees and
    // maxDegrees; none when the page shows no lines to measure (a blank page,
    // a photograph) or they lie further off. `dpi` is the image's resolution,
    // 1 or less when it states none. Any QImage format.
    static std::optional<double> skew(const QImage& image, double dpi);

    // What skew() measures, and how.
    struct Lines {
        double degrees = 0;
        // The lines run down the page (it is turned by a quarter).
        bool runDown = false;
        // They are lines of text; otherwise the paper's edge.
        bool text = false;
    };
    static std::optional<Lines> lines(const QImage& image, double dpi);
};
