#pragma once

#include <QImage>

// A colour or grey page split into three layers from which it can be drawn
// again: a full-resolution mask of its text and line art, the colours of
// that ink, and the background (paper, stamps, pictures) with the ink taken
// out and filled from its surroundings, both at a third of the resolution.
// Drawn as the background, then the ink colours through the mask, the layers
// give the page back with its text as sharp as it was.
//
// Only pages that are mostly text and line art on a plain background are
// split. The page is looked at in tiles of 32 x 32 pixels; in each, ink is
// what is clearly darker (by at least minContrast) than the paper around it,
// cut at half-way between the two. A page stays whole when
//  - more than half of it is picture: regions of tiles full of tones that
//    are neither ink nor paper (photographs, halftone, tinted areas), taken
//    together with what they enclose. Smaller pictures are kept in the
//    background layer, where the mask leaves them alone;
//  - ink outside the pictures is soft: tiles where far more of the ink lies
//    between its darkest tone and the paper than at its darkest (pencil,
//    faint or grainy stamps, screened print), which a mask could only break
//    into specks.
// The result depends on the page's pixels alone.
class PageLayers {
public:
    enum class Outcome {
        layered,       // the layers below are set
        unsuitable,    // a 1-bit page, or one too small to gain anything
        mostlyPicture, // the page is mostly picture
        softInk,       // the mask would lose detail
    };

    // The background and the foreground have one pixel for each
    // reduction x reduction pixels of the page (the last ones in a row or
    // column cover what is left).
    static constexpr int reduction = 3;
    // The least difference, in grey levels, between paper and ink.
    static constexpr int minContrast = 48;

    Outcome outcome = Outcome::unsuitable;
    QImage mask;       // Format_Mono of the page's size; 0 (black) marks ink
    QImage foreground; // the ink's colours where there is ink, filled elsewhere
    QImage background; // the page without its ink
    // The share of the page taken by pictures, 0...1 (their regions above).
    double pictureShare = 0;

    // Splits a Format_RGB32 or Format_Grayscale8 page (other formats are
    // converted, transparency flattened onto white; Format_Mono is
    // unsuitable). The foreground and background are Format_RGB32 for a
    // colour page and Format_Grayscale8 for a grey one. An image of fewer
    // than 128 pixels on a side is unsuitable.
    static PageLayers split(const QImage& page);
};
