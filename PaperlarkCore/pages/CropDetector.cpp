#include "pages/CropDetector.h"

#include "pages/LevelHistogram.h"
#include "pages/Marks.h"
#include "pages/PixelMask.h"
#include "pages/ReducedGrey.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double workingDpi = 75;
// What differs from the background by more than this many levels stands
// out: printed marks, and paper of another shade than the lid.
constexpr int minDifference = 40;
// The ring of the scan taken as the background, and the band along the
// edge in which marks that lie wholly inside it are ignored.
constexpr double ringMillimetres = 1;
constexpr double edgeBandMillimetres = 3;
// Marks smaller than this are dust.
constexpr double smallestMarkSquareMillimetres = 0.5;
// A region covering at least this share of its bounding box is a sheet of
// paper, not content on one.
constexpr double minPaperShare = 0.5;

int pixelsFor(double millimetres, double dpi) {
    return std::max(1, int(std::lround(millimetres / 25.4 * dpi)));
}

// The median grey of the copy's outermost `depth` pixels.
int edgeMedian(const ReducedGrey& grey, int depth) {
    LevelHistogram histogram;
    for (int y = 0; y < grey.height; ++y) {
        const bool band = y < depth || y >= grey.height - depth;
        for (int x = 0; x < grey.width; ++x) {
            if (band || x < depth || x >= grey.width - depth) {
                histogram.add(grey.at(x, y));
            }
        }
    }
    return histogram.median();
}

} // namespace

QRect CropDetector::frame(const QImage& image, double dpi) {
    const QRect whole = image.rect();
    const ReducedGrey grey = ReducedGrey::of(image, dpi, workingDpi);
    const int band = pixelsFor(edgeBandMillimetres, grey.dpi);
    if (grey.width <= 2 * band || grey.height <= 2 * band) {
        return whole;
    }
    const int background = edgeMedian(grey, pixelsFor(ringMillimetres, grey.dpi));
    PixelMask differs(grey.width, grey.height);
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        differs.bits[i] = std::abs(int(grey.pixels[i]) - background) > minDifference ? 1 : 0;
    }
    const Marks marks = Marks::of(differs, grey);

    const double pixelMillimetres = 25.4 / grey.dpi;
    const auto smallest = std::int64_t(
        std::ceil(smallestMarkSquareMillimetres / (pixelMillimetres * pixelMillimetres)));
    QRect found;
    std::int64_t covered = 0;
    for (const Marks::Mark& mark : marks.marks) {
        const bool alongEdge = mark.right < band || mark.bottom < band ||
                               mark.left >= grey.width - band || mark.top >= grey.height - band;
        if (mark.pixels < smallest || alongEdge) {
            continue;
        }
        found |= QRect(QPoint(mark.left, mark.top), QPoint(mark.right, mark.bottom));
        covered += mark.pixels;
    }
    if (found.isEmpty()) {
        return whole;
    }
    const int factor = grey.factor;
    QRect result(found.left() * factor, found.top() * factor, found.width() * factor,
                 found.height() * factor);
    // The copy leaves out the image's last few rows and columns when its
    // size is not a multiple of the factor.
    if (found.right() == grey.width - 1) {
        result.setRight(whole.right());
    }
    if (found.bottom() == grey.height - 1) {
        result.setBottom(whole.bottom());
    }
    const bool paper = double(covered) >= minPaperShare * found.width() * found.height();
    if (!paper) {
        const int margin = pixelsFor(contentMarginMillimetres, grey.dpi * factor);
        result.adjust(-margin, -margin, margin, margin);
    }
    return result & whole;
}
