#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

// A small grey copy of a page for measuring it (its skew, its edges, which
// way up it reads) rather than for showing it: blocks of factor x factor
// pixels averaged into one, each pixel's brightness weighted as in Rec. 601,
// transparent pixels counted as white paper. Averaging smooths scanner noise
// and dissolves dust specks.
class ReducedGrey {
public:
    int width = 0;
    int height = 0;
    // How many image pixels each side of a copy pixel stands for.
    int factor = 1;
    // The copy's resolution: the image's divided by factor, or, for an image
    // that states none, what it would be for a page of A4 height.
    double dpi = 0;
    // Row after row, 0 black to 255 white.
    std::vector<std::uint8_t> pixels;

    std::uint8_t at(int x, int y) const {
        return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    bool isEmpty() const { return pixels.empty(); }

    // The image reduced by the whole factor (at least 1) that brings its
    // resolution nearest to targetDpi. `dpi` 1 or less means the image
    // states none. Any QImage format; empty when the image is null or
    // memory runs out.
    static ReducedGrey of(const QImage& image, double dpi, double targetDpi);

    // The copy halved again: each pixel the mean of a 2 x 2 block.
    ReducedGrey halved() const;

    // The split between dark and light pixels that Otsu's method finds: dark
    // pixels are those below `threshold`; the means are those of the two
    // classes (equal when the copy holds one brightness only).
    struct Split {
        int threshold = 0;
        double darkMean = 0;
        double lightMean = 0;
    };
    Split otsuSplit() const;
};
