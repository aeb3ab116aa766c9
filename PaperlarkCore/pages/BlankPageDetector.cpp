#include "pages/BlankPageDetector.h"

#include "pages/ImageFile.h"
#include "pages/MonoBits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Images are reduced by the whole factor that brings their longer side
// nearest to this (75 to 100 dpi for A4 pages).
constexpr int workingLongSide = 1000;
constexpr int maxFactor = 256;
constexpr double marginMillimetres = 18;
constexpr double maxMarginShare = 0.15;
constexpr double marginShareWithoutResolution = 0.085;
// Ink is darker than this share of the paper's brightness.
constexpr int inkBrightnessPercent = 60;
// Paper is lighter than this, and less colourful than strongColour (the
// spread between the strongest and weakest of red, green and blue): white,
// cream, recycled grey, pastel copy paper. A page whose inner area is mostly
// darker or more colourful is not paper with marks on it but marked all
// over (a coloured or dark print, white text on a strong colour, a
// photograph): everything on it that is not light, plain paper counts.
constexpr int darkestPaper = 128;
constexpr int strongColour = 96;
// On paper, a mark may also be lighter than ink but clearly more colourful
// than the paper (a highlighter, a coloured stamp or pen).
constexpr int markColour = 64;
constexpr double smallestMarkSquareMillimetres = 0.2;
// The resolution assumed for the working copy of an image that states none.
constexpr double assumedWorkingDpi = 100;

// A copy reduced by averaging factor x factor blocks: each block's
// brightness and, for colour images, its colourfulness (the spread between
// its strongest and weakest channel).
struct Working {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    // Empty for images without colour.
    std::vector<std::uint8_t> colour;

    std::uint8_t at(int x, int y) const {
        return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    std::uint8_t colourAt(int x, int y) const {
        return colour.empty() ? 0 : colour[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

// Reduces an image by averaging factor x factor blocks (factor at most
// maxFactor). Rows are first added up column by column, then each band of
// `factor` rows is summed across. Reading the image is most of the work, so
// from a factor of 4 only every other row is read: a mark two rows thick
// still darkens every block it crosses by half, and eight or more pixels
// still average the noise away.
// Colour is summed per channel and weighted once per block (Rec. 601), which
// gives the same averages as weighting every pixel; transparent pixels count
// as white paper.
class Reducer {
public:
    Reducer(const QImage& image, int factor) : image_(image), factor_(factor) {
        const auto width = std::size_t(image.width());
        switch (image.format()) {
        case QImage::Format_Mono:
        case QImage::Format_Grayscale8:
        case QImage::Format_ARGB32:
            grey_.resize(width);
            break;
        default:
            redBlue_.resize(width);
            green_.resize(width);
            break;
        }
        row_.resize(width);
    }

    Working reduce() {
        Working result;
        result.width = image_.width() / factor_;
        result.height = image_.height() / factor_;
        result.pixels.resize(std::size_t(result.width) * std::size_t(result.height));
        if (grey_.empty()) {
            result.colour.resize(result.pixels.size());
        }
        const int step = factor_ >= 4 ? 2 : 1;
        const auto rowsRead = std::uint32_t((factor_ + step - 1) / step);
        const std::uint32_t area = std::uint32_t(factor_) * rowsRead;
        for (int band = 0; band < result.height; ++band) {
            for (int y = band * factor_; y < (band + 1) * factor_; y += step) {
                addRow(y);
            }
            const std::size_t row = std::size_t(band) * std::size_t(result.width);
            for (int x = 0; x < result.width; ++x) {
                const Block sums = blockSums(x);
                result.pixels[row + std::size_t(x)] =
                    std::uint8_t((sums.brightness + area / 2) / area);
                if (!result.colour.empty()) {
                    result.colour[row + std::size_t(x)] =
                        std::uint8_t((sums.spread + area / 2) / area);
                }
            }
            std::fill(grey_.begin(), grey_.end(), 0);
            std::fill(redBlue_.begin(), redBlue_.end(), 0);
            std::fill(green_.begin(), green_.end(), 0);
        }
        return result;
    }

private:
    void addRow(int y) {
        const int width = image_.width();
        switch (image_.format()) {
        case QImage::Format_Mono:
            MonoBits::expandRow(image_.constScanLine(y), row_.data(), width);
            addGrey(row_.data());
            return;
        case QImage::Format_Grayscale8:
            addGrey(image_.constScanLine(y));
            return;
        case QImage::Format_ARGB32:
            flattenRow(y);
            addGrey(row_.data());
            return;
        default:
            break;
        }
        // Red and blue side by side in 16-bit lanes: maxFactor rows keep them
        // from overflowing.
        if (image_.format() == QImage::Format_RGB888) {
            const std::uint8_t* in = image_.constScanLine(y);
            for (int x = 0; x < width; ++x, in += 3) {
                redBlue_[std::size_t(x)] += std::uint32_t(in[0]) << 16 | in[2];
                green_[std::size_t(x)] += in[1];
            }
            return;
        }
        const auto* in = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            redBlue_[std::size_t(x)] += in[x] & 0x00FF00FFu;
            green_[std::size_t(x)] += (in[x] >> 8) & 0xFFu;
        }
    }

    void addGrey(const std::uint8_t* in) {
        for (std::size_t x = 0; x < grey_.size(); ++x) {
            grey_[x] = std::uint16_t(grey_[x] + in[x]);
        }
    }

    // Transparent pixels count as white paper.
    void flattenRow(int y) {
        const auto* in = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        for (int x = 0; x < image_.width(); ++x) {
            const QRgb p = in[x];
            const unsigned luma = (unsigned(qRed(p)) * 77 + unsigned(qGreen(p)) * 150 +
                                   unsigned(qBlue(p)) * 29 + 128) >>
                                  8;
            const unsigned a = unsigned(qAlpha(p));
            row_[std::size_t(x)] = std::uint8_t((luma * a + 255 * (255 - a) + 127) / 255);
        }
    }

    struct Block {
        std::uint32_t brightness = 0;
        // The strongest channel's sum less the weakest one's.
        std::uint32_t spread = 0;
    };

    // The sums of block x of the current band.
    Block blockSums(int x) const {
        const std::size_t first = std::size_t(x) * std::size_t(factor_);
        if (!grey_.empty()) {
            std::uint32_t sum = 0;
            for (std::size_t i = first; i < first + std::size_t(factor_); ++i) {
                sum += grey_[i];
            }
            return {sum, 0};
        }
        std::uint64_t red = 0, green = 0, blue = 0;
        for (std::size_t i = first; i < first + std::size_t(factor_); ++i) {
            red += redBlue_[i] >> 16;
            blue += redBlue_[i] & 0xFFFFu;
            green += green_[i];
        }
        const auto [weakest, strongest] = std::minmax({red, green, blue});
        return {std::uint32_t((red * 77 + green * 150 + blue * 29 + 128) >> 8),
                std::uint32_t(strongest - weakest)};
    }

    const QImage& image_;
    const int factor_;
    std::vector<std::uint8_t> row_;
    // Column sums of at most maxFactor rows: 16 bits are enough.
    std::vector<std::uint16_t> grey_;
    std::vector<std::uint32_t> redBlue_;
    std::vector<std::uint32_t> green_;
};

int margin(int side, double workingDpi) {
    const double share =
        workingDpi > 0 ? std::min(marginMillimetres / 25.4 * workingDpi, maxMarginShare * side)
                       : marginShareWithoutResolution * side;
    return int(std::lround(share));
}

// The median brightness (or colourfulness) of the area.
int median(const Working& image, int left, int top, int right, int bottom, bool colour = false) {
    std::array<std::uint64_t, 256> histogram{};
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            ++histogram[colour ? image.colourAt(x, y) : image.at(x, y)];
        }
    }
    const std::uint64_t half = std::uint64_t(right - left) * std::uint64_t(bottom - top) / 2;
    std::uint64_t seen = 0;
    for (int value = 0; value < 256; ++value) {
        seen += histogram[std::size_t(value)];
        if (seen > half) {
            return value;
        }
    }
    return 255;
}

// The number of pixels in marks of at least `smallest` pixels, marks being
// the 8-connected groups of set pixels. Clears the mask.
std::uint64_t markedPixels(std::vector<std::uint8_t>& mask, int width, int height,
                           std::uint64_t smallest) {
    std::uint64_t total = 0;
    std::vector<std::size_t> pending;
    for (std::size_t start = 0; start < mask.size(); ++start) {
        if (!mask[start]) {
            continue;
        }
        std::uint64_t size = 0;
        mask[start] = 0;
        pending.push_back(start);
        while (!pending.empty()) {
            const std::size_t at = pending.back();
            pending.pop_back();
            ++size;
            const int x = int(at % std::size_t(width)), y = int(at / std::size_t(width));
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                    const std::size_t next = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                    if (mask[next]) {
                        mask[next] = 0;
                        pending.push_back(next);
                    }
                }
            }
        }
        if (size >= smallest) {
            total += size;
        }
    }
    return total;
}

} // namespace

double BlankPageDetector::inkShare(const QImage& image, double dpi) {
    if (image.isNull()) {
        return 0;
    }
    // RGB888 (what scanners deliver) is read as it is.
    const QImage source =
        image.format() == QImage::Format_RGB888 ? image : ImageFile::normalised(image);
    if (source.isNull()) {
        return 0;
    }
    const int factor = std::clamp(
        (std::max(source.width(), source.height()) + workingLongSide / 2) / workingLongSide, 1,
        maxFactor);
    const Working working = Reducer(source, factor).reduce();
    const double workingDpi = dpi > 1 ? dpi / factor : 0;
    const int marginX = margin(working.width, workingDpi);
    const int marginY = margin(working.height, workingDpi);
    const int left = marginX, right = working.width - marginX;
    const int top = marginY, bottom = working.height - marginY;
    if (right <= left || bottom <= top) {
        return 0;
    }

    const int paper = median(working, left, top, right, bottom);
    const int paperColour = median(working, left, top, right, bottom, true);
    // Marked all over, or paper with marks on it.
    const bool noPaper = paper < darkestPaper || paperColour >= strongColour;
    const int darkest = paper * inkBrightnessPercent / 100;
    const int colourful = paperColour + markColour;
    const auto isInk = [&](int x, int y) {
        const int brightness = working.at(x, y), colour = working.colourAt(x, y);
        if (noPaper) {
            return brightness < darkestPaper || colour >= strongColour;
        }
        return brightness < darkest || colour >= colourful;
    };
    const int innerWidth = right - left, innerHeight = bottom - top;
    std::vector<std::uint8_t> ink(std::size_t(innerWidth) * std::size_t(innerHeight));
    auto out = ink.begin();
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            *out++ = isInk(x, y) ? 1 : 0;
        }
    }

    const double pixelMillimetres = 25.4 / (workingDpi > 0 ? workingDpi : assumedWorkingDpi);
    const auto smallest = std::uint64_t(
        std::ceil(smallestMarkSquareMillimetres / (pixelMillimetres * pixelMillimetres)));
    const std::uint64_t inked = markedPixels(ink, innerWidth, innerHeight, smallest);
    return double(inked) / (double(innerWidth) * double(innerHeight));
}
