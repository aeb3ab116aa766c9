#pragma once

#include <QTransform>

#include <qpdf/QPDFObjectHandle.hh>

#include <optional>

class QPDFPageObjectHelper;

// What a page's content draws, as far as telling a scanned page from any
// other: whether it paints exactly one image and nothing else visible, where
// that image lies, and whether it carries invisible text (render mode 3,
// the way OCR software lays recognised text over a scan).
//
// Painting is anything that leaves marks over the image: an image other than
// the one, an inline image, a stencil mask, a filled or stroked path, a
// shading or visible text drawn after it, or a soft mask or constant alpha
// below 1 anywhere. Marks made before the image lie under it (the caller
// checks that it covers the page). Clipping to a rectangle is
// allowed (the caller compares the clip with the page); any other clip is
// painting, as it may hide part of the image. Form XObjects are followed
// (to a depth of 8). Content too long to look at in reasonable time counts
// as painting.
class PdfPageContent {
public:
    // The one image, and the matrix that maps its unit square to the page's
    // default user space (the current transformation matrix at its Do).
    std::optional<QPDFObjectHandle> image;
    QTransform imageMatrix;
    // The tightest rectangle clipped to before the image was drawn, in
    // default user space; none when nothing was clipped.
    std::optional<QRectF> clip;
    // Something else leaves marks, or there was more than one image.
    bool paints = false;
    // Text is shown in render mode 3 somewhere.
    bool invisibleText = false;

    // Whether the page is one image and nothing else visible.
    bool isSingleImage() const { return image.has_value() && !paints; }

    // Looks at the page's content streams; a page whose content cannot be
    // parsed paints.
    static PdfPageContent analyse(QPDFPageObjectHelper& page);
};
