#pragma once

#include <QImage>

// Judges whether a scanned page looks blank, so that the page list can flag
// it for the user (never to delete it on its own).
//
// The measure is the share of the page, inside a margin, that is covered by
// ink after a light clean-up:
//  - the page is reduced to a working copy of about 75 to 100 dpi by
//    averaging blocks of pixels, which smooths scanner noise and dissolves
//    single dust specks;
//  - a margin of 18 mm (at most 15 % of a side) is left out: punched holes,
//    staples, the edges of the scanner glass and shadows of the sheet's
//    border lie there;
//  - the paper is the median of the inner area. On paper (light and not
//    strongly coloured: white, cream, grey, pastel) ink is what is clearly
//    darker (below 60 % of the paper's brightness), so that faint text
//    showing through from the back does not count, or clearly more colourful
//    (a highlighter, a coloured stamp);
//  - a page whose inner area is mostly dark or strongly coloured (coloured
//    or dark print, light text on a dark or strong ground, a photograph)
//    carries no paper to be blank: everything on it that is not light,
//    plain paper counts as ink;
//  - blots of ink smaller than 0.2 mm² are dust, not marks, and are ignored.
//
// Stateless; safe to call from any thread. It reads the whole image once:
// about 10 ms for an A4 colour page at 300 dpi.
class BlankPageDetector {
public:
    // Pages with less ink than this share of the inner area look blank: on an
    // A4 page that is about 2.7 mm², a short printed word.
    static constexpr double blankInkShare = 0.00006;

    // The inked share (0...1) of the page's inner area. `dpi` is the image's
    // resolution; when it is 1 or less the margin is taken as 8.5 % of each
    // side. An empty image has no ink.
    static double inkShare(const QImage& image, double dpi);

    static bool looksBlank(double inkShare) { return inkShare < blankInkShare; }
};
