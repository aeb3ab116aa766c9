#pragma once

#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include <optional>

// How an image drawn on a page becomes the upright page image a viewer
// shows: the turn (and mirroring) its pixels take, the resolution at which
// it covers the page, and the map from the page's user space to the
// upright image's own space in points (origin at its lower left), where a
// text layer for it lives.
struct PdfImagePlacement {
    // Mirror the stored pixels left to right first (when set), then turn
    // them `turns` quarter turns clockwise.
    bool mirrored = false;
    int turns = 0;
    double dpi = 0;
    // The upright image's size in points at `dpi`.
    QSizeF size;
    QTransform userToImage;

    // The placement of an image of `pixels` drawn with `imageMatrix` (its
    // unit square to user space) on a page whose visible box is `box`,
    // shown turned by `rotate` degrees clockwise (the page's /Rotate) and
    // clipped to `clip` when given. None unless the image covers the box
    // (each edge within 1.5 points or 0.5 % of the side), axis-aligned,
    // with square pixels, and the clip hides none of it.
    static std::optional<PdfImagePlacement> find(QSize pixels, const QTransform& imageMatrix,
                                                 const QRectF& box, int rotate,
                                                 const std::optional<QRectF>& clip);

    // The map from user space to the page as shown (turned by `rotate`,
    // origin at the lower left of the turned box), and the turned box's size.
    static QTransform display(const QRectF& box, int rotate);
    static QSizeF displaySize(const QRectF& box, int rotate);
    // A /Rotate value as 0, 90, 180 or 270 (values that are not multiples
    // of 90 count as 0).
    static int normalisedRotation(long long rotate);
};
