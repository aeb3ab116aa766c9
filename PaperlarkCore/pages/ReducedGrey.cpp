#include "pages/ReducedGrey.h"

#include "pages/ImageFile.h"
#include "pages/MonoBits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// The height of an A4 page, in inches: what an image that states no
// resolution is taken to be.
constexpr double assumedPageInches = 297 / 25.4;

std::uint8_t luma(int red, int green, int blue) {
    return std::uint8_t((red * 77 + green * 150 + blue * 29 + 128) >> 8);
}

// One row of the image as grey bytes.
void greyRow(const QImage& image, int y, std::uint8_t* out) {
    const int width = image.width();
    switch (image.format()) {
    case QImage::Format_Mono:
        MonoBits::expandRow(image.constScanLine(y), out, width);
        return;
    case QImage::Format_Grayscale8:
        std::memcpy(out, image.constScanLine(y), std::size_t(width));
        return;
    case QImage::Format_RGB888: {
        const std::uint8_t* in = image.constScanLine(y);
        for (int x = 0; x < width; ++x, in += 3) {
            out[x] = luma(in[0], in[1], in[2]);
        }
        return;
    }
    case QImage::Format_ARGB32: {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const unsigned grey = luma(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
            const auto alpha = unsigned(qAlpha(in[x]));
            out[x] = std::uint8_t((grey * alpha + 255 * (255 - alpha) + 127) / 255);
        }
        return;
    }
    default: { // RGB32
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            out[x] = luma(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
        }
        return;
    }
    }
}

bool readsDirectly(QImage::Format format) {
    return format == QImage::Format_Mono || format == QImage::Format_Grayscale8 ||
           format == QImage::Format_RGB888 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_RGB32;
}

} // namespace

ReducedGrey ReducedGrey::of(const QImage& image, double dpi, double targetDpi) {
    ReducedGrey result;
    if (image.isNull() || targetDpi <= 0) {
        return result;
    }
    const QImage source = readsDirectly(image.format()) ? image : ImageFile::normalised(image);
    if (source.isNull()) {
        return result;
    }
    const double resolution =
        dpi > 1 ? dpi : std::max(source.width(), source.height()) / assumedPageInches;
    result.factor = std::clamp(int(std::lround(resolution / targetDpi)), 1,
                               std::min(source.width(), source.height()));
    result.dpi = resolution / result.factor;
    result.width = source.width() / result.factor;
    result.height = source.height() / result.factor;
    result.pixels.resize(std::size_t(result.width) * std::size_t(result.height));

    const int factor = result.factor;
    const auto area = std::uint32_t(factor) * std::uint32_t(factor);
    const auto columns = std::size_t(result.width);
    // Opaque colour is summed channel by channel, red and blue side by side
    // in one word, and weighted once per block: the same means as weighting
    // every pixel, for less work per pixel. Blocks of up to 16 x 16 pixels
    // keep each channel's sum within its half of the word.
    const bool colour = source.format() == QImage::Format_RGB32 && factor <= 16;
    std::vector<std::uint8_t> row(colour ? 0 : std::size_t(source.width()));
    std::vector<std::uint32_t> sums(columns), greens(colour ? columns : 0);
    for (int y = 0; y < result.height * factor; ++y) {
        if (colour) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            for (std::size_t x = 0; x < columns; ++x, in += factor) {
                std::uint32_t redBlue = 0, green = 0;
                for (int i = 0; i < factor; ++i) {
                    redBlue += in[i] & 0xFF00FFu;
                    green += (in[i] >> 8) & 0xFFu;
                }
                sums[x] += redBlue;
                greens[x] += green;
            }
        } else {
            greyRow(source, y, row.data());
            const std::uint8_t* in = row.data();
            for (std::size_t x = 0; x < columns; ++x, in += factor) {
                std::uint32_t sum = 0;
                for (int i = 0; i < factor; ++i) {
                    sum += in[i];
                }
                sums[x] += sum;
            }
        }
        if (y % factor != factor - 1) {
            continue;
        }
        std::uint8_t* out = result.pixels.data() + std::size_t(y / factor) * columns;
        for (std::size_t x = 0; x < columns; ++x) {
            const std::uint32_t sum = colour ? (((sums[x] >> 16) & 0xFFFFu) * 77 + greens[x] * 150 +
                                                (sums[x] & 0xFFFFu) * 29 + 128) >>
                                                   8
                                             : sums[x];
            out[x] = std::uint8_t((sum + area / 2) / area);
        }
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(greens.begin(), greens.end(), 0);
    }
    return result;
}

ReducedGrey ReducedGrey::halved() const {
    ReducedGrey result;
    result.factor = factor * 2;
    result.dpi = dpi / 2;
    result.width = width / 2;
    result.height = height / 2;
    result.pixels.resize(std::size_t(result.width) * std::size_t(result.height));
    for (int y = 0; y < result.height; ++y) {
        const std::uint8_t* top = pixels.data() + std::size_t(2 * y) * width;
        const std::uint8_t* bottom = top + width;
        std::uint8_t* out = result.pixels.data() + std::size_t(y) * result.width;
        for (int x = 0; x < result.width; ++x) {
            out[x] = std::uint8_t(
                (top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1] + 2) / 4);
        }
    }
    return result;
}

ReducedGrey::Split ReducedGrey::otsuSplit() const {
    std::array<double, 256> histogram{};
    for (const std::uint8_t value : pixels) {
        ++histogram[value];
    }
    double total = 0, sum = 0;
    for (int i = 0; i < 256; ++i) {
        total += histogram[std::size_t(i)];
        sum += i * histogram[std::size_t(i)];
    }
    Split split;
    if (total == 0) {
        return split;
    }
    split.darkMean = split.lightMean = sum / total;
    double darkCount = 0, darkSum = 0, best = -1;
    for (int i = 0; i < 255; ++i) {
        darkCount += histogram[std::size_t(i)];
        darkSum += i * histogram[std::size_t(i)];
        const double lightCount = total - darkCount;
        if (darkCount == 0 || lightCount == 0) {
            continue;
        }
        const double darkMean = darkSum / darkCount;
        const double lightMean = (sum - darkSum) / lightCount;
        const double between =
            darkCount * lightCount * (lightMean - darkMean) * (lightMean - darkMean);
        if (between > best) {
            best = between;
            split = {i + 1, darkMean, lightMean};
        }
    }
    return split;
}
