#pragma once

#include <QByteArray>

// The recognised text of one page, ready to lie invisibly over its image in
// a PDF: a one-page PDF whose page holds only text in render mode 3, in the
// coordinates of the page image (its page box is the image at its
// resolution). Placed on a page of another size, it is scaled to fit.
struct TextLayer {
    QByteArray pdf;
};
