#include "pages/SkewDetector.h"

#include "pages/Marks.h"
#include "pages/PixelMask.h"
#include "pages/ReducedGrey.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr double fineDpi = 150;
// Coarse sweep: half-degree steps a little beyond the range, so that a
// peak at its end shows the skew lies further off.
constexpr double coarseStep = 0.5;
constexpr double coarseReach = SkewDetector::maxDegrees + coarseStep;
// Fine search round the coarse peak.
constexpr double fineStep = 0.05;
constexpr double fineReach = 0.6;
// Profiles are taken in vertical strips this many pixels wide, each shifted
// as a whole.
constexpr int stripWidth = 8;

// Ink and paper must differ by this much (mean levels) for a page to have
// marks at all; below it the split is between shades of noise.
constexpr double minContrast = 48;
// Text-like marks: at least this many pixels of the coarse copy (dust is
// smaller), and no thicker on average, across their length, than this.
constexpr int minMarkPixels = 3;
constexpr double maxStrokeMillimetres = 4;
// Marks lying wholly this close to the edge of the scan are not text but
// the shadows of the glass's frame and such, which are straight whatever the
// page's skew.
constexpr double edgeBandMillimetres = 3;
// Enough marks for a line of text or two.
constexpr int minTextMarks = 12;
// The scanner's background: a dark area reaching the border of the scan
// along at least this share of it, at least this share of the page, and
// evenly coloured (standard deviation in levels).
constexpr double minBackgroundEdgeShare = 0.2;
constexpr double minBackgroundAreaShare = 0.02;
constexpr double maxBackgroundDeviation = 16;
// The sharpest projection must be this many times as sharp as the median of
// the sweep: text lines and straight edges are; noise, photographs and
// scattered marks are not.
constexpr double minConfidence = 4;

PixelMask below(const ReducedGrey& grey, int threshold) {
    PixelMask mask(grey.width, grey.height);
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        mask.bits[i] = grey.pixels[i] < threshold ? 1 : 0;
    }
    return mask;
}

// Each pixel set when any of its 2 x 2 block is.
PixelMask halved(const PixelMask& mask) {
    PixelMask result(mask.width / 2, mask.height / 2);
    for (int y = 0; y < result.height; ++y) {
        for (int x = 0; x < result.width; ++x) {
            result.at(x, y) = mask.at(2 * x, 2 * y) | mask.at(2 * x + 1, 2 * y) |
                              mask.at(2 * x, 2 * y + 1) | mask.at(2 * x + 1, 2 * y + 1);
        }
    }
    return result;
}

// What a mark counts as.
enum class Kind : std::uint8_t { other, text, background };

bool isTextLike(const Marks::Mark& mark, const PixelMask& mask, double dpi) {
    const double maxStroke = maxStrokeMillimetres / 25.4 * dpi;
    const double across = double(mark.pixels) / mark.width();
    const double down = double(mark.pixels) / mark.height();
    const int band = int(std::lround(edgeBandMillimetres / 25.4 * dpi));
    const bool alongEdge = mark.right < band || mark.bottom < band ||
                           mark.left >= mask.width - band || mark.top >= mask.height - band;
    return mark.pixels >= minMarkPixels && std::min(across, down) <= maxStroke && !alongEdge;
}

bool isBackground(const Marks::Mark& mark, const PixelMask& mask) {
    const double edge = 2.0 * (mask.width + mask.height) - 4;
    const double area = double(mask.width) * mask.height;
    return double(mark.edgePixels) >= minBackgroundEdgeShare * edge &&
           double(mark.pixels) >= minBackgroundAreaShare * area &&
           mark.greyDeviation() <= maxBackgroundDeviation;
}

// The projection profiles of a mask's vertical strips (or, transposed, of
// its horizontal strips), which a shear turns into the profile along any
// small angle.
class Profiles {
public:
    Profiles(const PixelMask& mask, bool transposed) {
        const int across = transposed ? mask.height : mask.width;
        length_ = transposed ? mask.width : mask.height;
        strips_ = across / stripWidth;
        counts_.assign(std::size_t(strips_) * std::size_t(length_), 0);
        for (int y = 0; y < mask.height; ++y) {
            for (int x = 0; x < mask.width; ++x) {
                if (!mask.at(x, y)) {
                    continue;
                }
                const int strip = (transposed ? y : x) / stripWidth;
                const int along = transposed ? x : y;
                if (strip < strips_) {
                    ++counts_[std::size_t(strip) * std::size_t(length_) + std::size_t(along)];
                }
            }
        }
    }

    // The sharpness of the profile along lines sloping down to the right by
    // `degrees`: the sum of the squared differences of neighbouring rows.
    double sharpness(double degrees) const {
        const double slope = std::tan(degrees * std::numbers::pi / 180);
        const int margin = int(std::ceil(std::abs(slope) * strips_ * stripWidth)) + 2;
        sums_.assign(std::size_t(length_ + 2 * margin), 0);
        for (int strip = 0; strip < strips_; ++strip) {
            const int shift = int(std::lround((strip + 0.5) * stripWidth * slope));
            std::int32_t* out = sums_.data() + margin - shift;
            const std::uint16_t* in = counts_.data() + std::size_t(strip) * std::size_t(length_);
            for (int i = 0; i < length_; ++i) {
                out[i] += in[i];
            }
        }
        double total = 0;
        for (std::size_t i = 1; i < sums_.size(); ++i) {
            const double difference = double(sums_[i] - sums_[i - 1]);
            total += difference * difference;
        }
        return total;
    }

private:
    int length_ = 0;
    int strips_ = 0;
    std::vector<std::uint16_t> counts_;
    mutable std::vector<std::int32_t> sums_;
};

struct Peak {
    double degrees = 0;
    double confidence = 0;
};

// The sharpest angle from `from` to `to` in `step`s, placed between steps by
// a parabola through it and its neighbours; confidence is its sharpness over
// the median.
Peak sharpest(const Profiles& profiles, double from, double to, double step) {
    std::vector<double> scores;
    const int count = int(std::lround((to - from) / step)) + 1;
    for (int i = 0; i < count; ++i) {
        scores.push_back(profiles.sharpness(from + i * step));
    }
    const auto best = std::size_t(std::max_element(scores.begin(), scores.end()) - scores.begin());
    Peak peak{from + double(best) * step, 0};
    if (best > 0 && best + 1 < scores.size()) {
        const double left = scores[best - 1], centre = scores[best], right = scores[best + 1];
        const double curvature = left - 2 * centre + right;
        if (curvature < 0) {
            peak.degrees += step * 0.5 * (left - right) / curvature;
        }
    }
    std::vector<double> sorted = scores;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                     sorted.end());
    const double median = sorted[sorted.size() / 2];
    peak.confidence = median > 0 ? scores[best] / median : 0;
    return peak;
}

// The lines a pair of masks (coarse and fine, the fine one twice the
// resolution) holds, or none when it shows no clear lines.
std::optional<SkewDetector::Lines> measure(const PixelMask& coarse, const PixelMask& fine,
                                           bool text) {
    if (coarse.isEmpty()) {
        return std::nullopt;
    }
    Peak best;
    bool transposed = false;
    for (const bool across : {false, true}) {
        const Peak peak = sharpest(Profiles(coarse, across), -coarseReach, coarseReach, coarseStep);
        if (peak.confidence > best.confidence) {
            best = peak;
            transposed = across;
        }
    }
    if (best.confidence < minConfidence ||
        std::abs(best.degrees) > SkewDetector::maxDegrees + coarseStep / 2) {
        return std::nullopt;
    }
    const Peak refined = sharpest(Profiles(fine, transposed), best.degrees - fineReach,
                                  best.degrees + fineReach, fineStep);
    // Lines running down a transposed page slope the other way.
    const double degrees = transposed ? -refined.degrees : refined.degrees;
    if (std::abs(degrees) > SkewDetector::maxDegrees) {
        return std::nullopt;
    }
    return SkewDetector::Lines{degrees, transposed, text};
}

// Whether a set pixel of a mask has a clear neighbour (along a side).
bool isEdge(const PixelMask& mask, int x, int y) {
    return (x > 0 && !mask.at(x - 1, y)) || (y > 0 && !mask.at(x, y - 1)) ||
           (x + 1 < mask.width && !mask.at(x + 1, y)) ||
           (y + 1 < mask.height && !mask.at(x, y + 1));
}

// The pixels of one kind of mark, on the coarse copy and on the fine one
// (twice its resolution); of the background, only those on its edge.
std::pair<PixelMask, PixelMask> pixelsOf(Kind wanted, const PixelMask& coarseInk,
                                         const PixelMask& fineInk, const std::vector<Kind>& kinds) {
    PixelMask coarse(coarseInk.width, coarseInk.height);
    PixelMask fine(fineInk.width, fineInk.height);
    for (int y = 0; y < coarse.height; ++y) {
        for (int x = 0; x < coarse.width; ++x) {
            if (kinds[std::size_t(y) * std::size_t(coarse.width) + std::size_t(x)] != wanted) {
                continue;
            }
            coarse.at(x, y) = wanted == Kind::text || isEdge(coarseInk, x, y);
            for (int fy = 2 * y; fy < 2 * y + 2; ++fy) {
                for (int fx = 2 * x; fx < 2 * x + 2; ++fx) {
                    fine.at(fx, fy) =
                        fineInk.at(fx, fy) && (wanted == Kind::text || isEdge(fineInk, fx, fy));
                }
            }
        }
    }
    return {std::move(coarse), std::move(fine)};
}

} // namespace

std::optional<double> SkewDetector::skew(const QImage& image, double dpi) {
    const std::optional<Lines> found = lines(image, dpi);
    return found ? std::optional<double>(found->degrees) : std::nullopt;
}

std::optional<SkewDetector::Lines> SkewDetector::lines(const QImage& image, double dpi) {
    const ReducedGrey fineGrey = ReducedGrey::of(image, dpi, fineDpi);
    if (fineGrey.width < 4 * stripWidth || fineGrey.height < 4 * stripWidth) {
        return std::nullopt;
    }
    const ReducedGrey::Split split = fineGrey.otsuSplit();
    if (split.lightMean - split.darkMean < minContrast) {
        return std::nullopt;
    }
    const PixelMask fineInk = below(fineGrey, split.threshold);
    const PixelMask coarseInk = halved(fineInk);
    const Marks marks = Marks::of(coarseInk, fineGrey.halved());

    // What each coarse pixel belongs to.
    std::vector<Kind> markKinds(marks.marks.size(), Kind::other);
    int textMarks = 0;
    bool background = false;
    for (std::size_t i = 0; i < marks.marks.size(); ++i) {
        if (isTextLike(marks.marks[i], coarseInk, fineGrey.dpi / 2)) {
            markKinds[i] = Kind::text;
            ++textMarks;
        } else if (isBackground(marks.marks[i], coarseInk)) {
            markKinds[i] = Kind::background;
            background = true;
        }
    }
    std::vector<Kind> kinds(marks.labels.size(), Kind::other);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (marks.labels[i] != Marks::none) {
            kinds[i] = markKinds[std::size_t(marks.labels[i])];
        }
    }

    if (textMarks >= minTextMarks) {
        const auto [coarse, fine] = pixelsOf(Kind::text, coarseInk, fineInk, kinds);
        if (const auto found = measure(coarse, fine, true)) {
            return found;
        }
    }
    if (background) {
        const auto [coarse, fine] = pixelsOf(Kind::background, coarseInk, fineInk, kinds);
        return measure(coarse, fine, false);
    }
    return std::nullopt;
}
