#pragma once

#include <QByteArray>

#include <optional>

// The recognised text of one page, ready to lie invisibly over its image in
// a PDF: a one-page PDF whose page holds only text in render mode 3, in the
// coordinates of the page image (its page box is the image at its
// resolution). Placed on a page of another size, it is scaled to fit.
struct TextLayer {
    QByteArray pdf;

    // The largest layer read back from a file.
    static constexpr qint64 maxBytes = qint64{8} << 20;

    // The same text over the page turned by quarter turns clockwise (any
    // integer, taken modulo 4): the page box turns with it. None when the
    // layer cannot be read as a one-page PDF.
    std::optional<TextLayer> turned(int quarterTurnsClockwise) const;
};
