#pragma once

#include <QImage>
#include <QRect>

// Finds where a page's paper or content lies within its scan, for the crop
// frame to start from: a receipt on the flatbed fills a tenth of an A4
// scan.
//
// The colour of the scan round its edge is taken as the scanner's background
// (the lid, or the paper itself when it fills the scan). Whatever differs
// from it clearly, on a working copy of about 75 dpi, is the paper or what
// is printed on it; dust, and thin strips along the very edge of the scan
// (the shadow of the glass's frame, say), are not. When what differs fills
// its bounding box for the most part it is the paper itself, and the frame
// is its bounding box; otherwise it is content on paper of the background's
// colour, and the frame keeps a margin round it.
//
// Stateless; safe to call from any thread.
class CropDetector {
public:
    // The margin kept round content, in millimetres.
    static constexpr double contentMarginMillimetres = 4;

    // The frame, in the image's pixels; the whole image when nothing stands
    // out (a blank page, a page that fills its scan) or the image is null.
    // `dpi` 1 or less means the image states no resolution.
    static QRect frame(const QImage& image, double dpi);
};
