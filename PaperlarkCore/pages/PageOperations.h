#pragma once

#include "Result.h"
#include "pages/ScannedPage.h"

#include <QImage>
#include <QRect>

#include <memory>
#include <optional>

// Operations that change a page's pixels other than by quarter turns
// (straightening and cropping) and make a NEW page of the result: a new id
// and a new cache file beside the page's own, in the same cache folder. The
// page and its cache file are left exactly as they are, so that whoever
// keeps the page (an undo history) can bring it back. The new page is an
// ordinary page of the cache folder: its file appears complete or not at
// all, and a manifest that lists it restores it like any other.
//
// The page's recorded turns (cacheTurns) are applied before the operation,
// and the new page starts with none: its file holds the pixels as they show.
// A page kept as PNG gives a PNG; a page kept as JPEG gives a JPEG of high
// quality with full colour resolution (as the scanner writes noisy colour
// pages), since a PNG of those pixels would take four to five times the
// space. The resolution stays the page's.
//
// Each operation decodes and encodes a whole page: callers keep it off the
// GUI thread. Pages are not shared between threads while it runs.
class PageOperations {
public:
    using Page = std::shared_ptr<ScannedPage>;
    using Failure = ScannedPage::Failure;

    // The JPEG quality (percent) of pages made from pages kept as JPEG.
    static constexpr int jpegQuality = 95;

    // The page straightened (see Straightener); none when it has no
    // measurable skew, in which case nothing is written.
    static Result<std::optional<Page>, Failure> straighten(const ScannedPage& page);

    // The page cut to `rect`, in the page's pixels as it shows (after its
    // turns), taken inside the page. A rectangle that leaves nothing of the
    // page fails with badContext and writes nothing.
    static Result<Page, Failure> crop(const ScannedPage& page, const QRect& rect);

    // A new page holding `image` in place of the page's pixels, written as
    // above. For work on the page's pixels done elsewhere.
    static Result<Page, Failure> replaced(const ScannedPage& page, const QImage& image);
};
