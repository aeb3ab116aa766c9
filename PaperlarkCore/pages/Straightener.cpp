#include "pages/Straightener.h"

#include "pages/ImageFile.h"
#include "pages/LevelHistogram.h"
#include "pages/MonoBits.h"
#include "pages/SkewDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

namespace {

// The mix of pixels x and x + 1 of two neighbouring rows, at fractions tx
// of the way from x to x + 1 and ty from the upper row to the lower (both
// 0...255, in 256ths).
inline std::uint8_t mix(const std::uint8_t* top, const std::uint8_t* bottom, std::uint32_t tx,
                        std::uint32_t ty) {
    const std::uint32_t left = (top[0] * (256 - ty) + bottom[0] * ty + 128) >> 8;
    const std::uint32_t right = (top[1] * (256 - ty) + bottom[1] * ty + 128) >> 8;
    return std::uint8_t((left * (256 - tx) + right * tx + 128) >> 8);
}

// Colour pixels are mixed in 16-bit lanes, all channels of a pair of
// neighbours at once (256 x 255 fits in a lane), in vector types of the
// compiler that become the processor's vector instructions.
using Lanes = std::uint16_t __attribute__((vector_size(16)));
using LaneBytes = std::uint8_t __attribute__((vector_size(8)));

inline Lanes widened(const QRgb* pair) {
    LaneBytes bytes;
    std::memcpy(&bytes, pair, sizeof bytes);
    return __builtin_convertvector(bytes, Lanes);
}

inline QRgb mix(const QRgb* top, const QRgb* bottom, std::uint32_t tx, std::uint32_t ty) {
    const auto below = std::uint16_t(ty), above = std::uint16_t(256 - ty);
    const Lanes rows = (widened(top) * above + widened(bottom) * below + 128) >> 8;
    const auto right = std::uint16_t(tx), left = std::uint16_t(256 - tx);
    const Lanes weighted = rows * Lanes{left, left, left, left, right, right, right, right};
    const Lanes swapped = __builtin_shufflevector(weighted, weighted, 4, 5, 6, 7, 0, 1, 2, 3);
    const LaneBytes bytes = __builtin_convertvector((weighted + swapped + 128) >> 8, LaneBytes);
    QRgb result;
    std::memcpy(&result, &bytes, sizeof result);
    return result;
}

// Turns `image` (pixels of type Pixel) clockwise by `degrees` about its
// centre, in place. Each pixel centre is taken back to where it came from by
// the inverse turn and interpolated from the four pixels round that point;
// pixels outside the image are `fill`. Positions advance along a row in
// 16.16 fixed point.
//
// The turned rows are made a band at a time into a buffer and then copied
// over the image, after the rows they replace have been saved in a ring
// buffer: a turned row reads rows no further than `reach` from its own, so
// the ring needs to hold only the band and the `reach` rows above it. No
// second image is needed (a fresh one costs as much again in memory, and
// on some systems a third of the time in page faults). Within a band the
// rows are made in columns `tileWidth` wide, top to bottom: the rows one
// row reads are mostly those the row above it read, still in the cache.
template <typename Pixel> void turn(QImage& image, double degrees, Pixel fill) {
    constexpr int tileWidth = 128;
    constexpr int bandHeight = 32;
    const int width = image.width(), height = image.height();
    const double radians = degrees * std::numbers::pi / 180;
    const double cosine = std::cos(radians), sine = std::sin(radians);
    const double centreX = width / 2.0, centreY = height / 2.0;
    constexpr double one = 65536;
    const auto stepX = std::int64_t(std::llround(cosine * one));
    const auto stepY = std::int64_t(std::llround(-sine * one));
    // How far, in rows, a row's source lies from it either way (with room
    // for rounding and the row below each source position).
    const int reach = int(std::ceil(centreX * std::abs(sine) + centreY * (1 - cosine))) + 4;
    const int ringRows = reach + bandHeight;
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto rowBytes = std::size_t(width) * sizeof(Pixel);
    std::vector<uchar> ring(std::size_t(ringRows) * rowBytes);
    std::vector<uchar> band(std::size_t(bandHeight) * rowBytes);
    // Where each source row is now: in the image, or saved in the ring.
    std::vector<const uchar*> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[std::size_t(y)] = bits + y * stride;
    }
    const auto row = [&rows](std::int64_t y) {
        return reinterpret_cast<const Pixel*>(rows[std::size_t(y)]);
    };
    const auto sample = [&](std::int64_t x, std::int64_t y) {
        return x < 0 || y < 0 || x >= width || y >= height ? fill : row(y)[x];
    };
    for (int top = 0; top < height; top += bandHeight) {
        const int bottom = std::min(height, top + bandHeight);
        for (int left = 0; left < width; left += tileWidth) {
            const int right = std::min(width, left + tileWidth);
            for (int y = top; y < bottom; ++y) {
                auto* out = reinterpret_cast<Pixel*>(band.data() + std::size_t(y - top) * rowBytes);
                // The source position of the row's first pixel centre, in
                // pixel index coordinates (a pixel's centre is at its index).
                const double dx = 0.5 - centreX, dy = y + 0.5 - centreY;
                auto fx =
                    std::int64_t(std::llround((centreX + cosine * dx + sine * dy - 0.5) * one)) +
                    left * stepX;
                auto fy =
                    std::int64_t(std::llround((centreY - sine * dx + cosine * dy - 0.5) * one)) +
                    left * stepY;
                for (int x = left; x < right; ++x, fx += stepX, fy += stepY) {
                    const std::int64_t ix = fx >> 16, iy = fy >> 16;
                    const auto tx = std::uint32_t((fx >> 8) & 0xFF);
                    const auto ty = std::uint32_t((fy >> 8) & 0xFF);
                    if (std::uint64_t(ix) < std::uint64_t(width - 1) &&
                        std::uint64_t(iy) < std::uint64_t(height - 1)) {
                        // The rows a few rows further down will read are
                        // fetched meanwhile: the processor does not see
                        // them coming.
                        __builtin_prefetch(row(std::min<std::int64_t>(iy + 6, height - 1)) + ix);
                        out[x] = mix(row(iy) + ix, row(iy + 1) + ix, tx, ty);
                    } else if (ix >= -1 && iy >= -1 && ix < width && iy < height) {
                        const Pixel above[] = {sample(ix, iy), sample(ix + 1, iy)};
                        const Pixel below[] = {sample(ix, iy + 1), sample(ix + 1, iy + 1)};
                        out[x] = mix(above, below, tx, ty);
                    } else {
                        out[x] = fill;
                    }
                }
            }
        }
        for (int y = top; y < bottom; ++y) {
            uchar* const saved = ring.data() + std::size_t(y % ringRows) * rowBytes;
            std::memcpy(saved, bits + y * stride, rowBytes);
            rows[std::size_t(y)] = saved;
            std::memcpy(bits + y * stride, band.data() + std::size_t(y - top) * rowBytes, rowBytes);
        }
    }
}

// The image turned in place (Format_Grayscale8 or Format_RGB32).
void turnInPlace(QImage& image, double degrees, QRgb fill) {
    if (image.format() == QImage::Format_Grayscale8) {
        turn<std::uint8_t>(image, degrees, std::uint8_t(qGray(fill)));
    } else {
        turn<QRgb>(image, degrees, fill | 0xFF000000u);
    }
}

} // namespace

std::optional<Straightener::Straightened> Straightener::straightened(QImage image, double dpi) {
    if (image.isNull()) {
        return std::nullopt;
    }
    const std::optional<double> skew = SkewDetector::skew(image, dpi);
    if (!skew || std::abs(*skew) < minDegrees) {
        return std::nullopt;
    }
    const QRgb background = backgroundColour(image);
    QImage straight = rotated(std::move(image), -*skew, background);
    if (straight.isNull()) {
        return std::nullopt;
    }
    return Straightened{std::move(straight), *skew};
}

QImage Straightener::rotated(QImage image, double degrees, QRgb fill) {
    const int dotsPerMeterX = image.dotsPerMeterX(), dotsPerMeterY = image.dotsPerMeterY();
    QImage pixels = ImageFile::flattened(ImageFile::normalised(image));
    image = QImage(); // so that the pixels, when they are the image's, are turned in place
    if (pixels.isNull()) {
        return pixels;
    }
    if (pixels.format() == QImage::Format_Mono) {
        QImage grey = MonoBits::toGrey(pixels);
        pixels = QImage();
        if (grey.isNull()) {
            return grey;
        }
        turnInPlace(grey, degrees, fill);
        pixels = MonoBits::fromGrey(grey);
    } else {
        // bits() copies the pixels first when anyone else holds them.
        if (pixels.bits() == nullptr) {
            return QImage();
        }
        turnInPlace(pixels, degrees, fill);
    }
    if (!pixels.isNull()) {
        pixels.setDotsPerMeterX(dotsPerMeterX);
        pixels.setDotsPerMeterY(dotsPerMeterY);
    }
    return pixels;
}

QRgb Straightener::backgroundColour(const QImage& image) {
    if (image.isNull()) {
        return qRgb(255, 255, 255);
    }
    const int width = image.width(), height = image.height();
    // A ring half a percent of the shorter side deep.
    const int depth = std::clamp(std::min(width, height) / 200, 1, std::min(width, height));
    LevelHistogram red, green, blue;
    const auto add = [&](int x, int y) {
        const QRgb pixel = image.pixel(x, y);
        red.add(qRed(pixel));
        green.add(qGreen(pixel));
        blue.add(qBlue(pixel));
    };
    for (int y = 0; y < height; ++y) {
        if (y < depth || y >= height - depth) {
            for (int x = 0; x < width; ++x) {
                add(x, y);
            }
        } else {
            for (int x = 0; x < depth; ++x) {
                add(x, y);
                add(width - 1 - x, y);
            }
        }
    }
    return qRgb(red.median(), green.median(), blue.median());
}
