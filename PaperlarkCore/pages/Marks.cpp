#include "pages/Marks.h"

#include <algorithm>
#include <cmath>

double Marks::Mark::greyDeviation() const {
    if (pixels == 0) {
        return 0;
    }
    const double n = double(pixels);
    const double mean = greySum / n;
    return std::sqrt(std::max(0.0, greySquares / n - mean * mean));
}

Marks Marks::of(const PixelMask& mask, const ReducedGrey& grey) {
    Marks result;
    result.labels.assign(mask.bits.size(), none);
    std::vector<std::size_t> pending;
    const int width = mask.width, height = mask.height;
    for (std::size_t start = 0; start < mask.bits.size(); ++start) {
        if (!mask.bits[start] || result.labels[start] != none) {
            continue;
        }
        const auto label = std::int32_t(result.marks.size());
        Mark mark;
        mark.left = mark.right = int(start % std::size_t(width));
        mark.top = mark.bottom = int(start / std::size_t(width));
        result.labels[start] = label;
        pending.push_back(start);
        while (!pending.empty()) {
            const std::size_t at = pending.back();
            pending.pop_back();
            const int x = int(at % std::size_t(width)), y = int(at / std::size_t(width));
            ++mark.pixels;
            mark.left = std::min(mark.left, x);
            mark.right = std::max(mark.right, x);
            mark.top = std::min(mark.top, y);
            mark.bottom = std::max(mark.bottom, y);
            if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
                ++mark.edgePixels;
            }
            const double value = grey.at(x, y);
            mark.greySum += value;
            mark.greySquares += value * value;
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                    const std::size_t next = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                    if (mask.bits[next] && result.labels[next] == none) {
                        result.labels[next] = label;
                        pending.push_back(next);
                    }
                }
            }
        }
        result.marks.push_back(mark);
    }
    return result;
}
