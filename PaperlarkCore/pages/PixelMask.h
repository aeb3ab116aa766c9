#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Which pixels of a page's working copy (see ReducedGrey) count for a
// measure: 1 for those that do, 0 for the others, row after row.
struct PixelMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bits;

    PixelMask() = default;
    PixelMask(int w, int h) : width(w), height(h), bits(std::size_t(w) * std::size_t(h)) {}

    std::uint8_t& at(int x, int y) {
        return bits[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    std::uint8_t at(int x, int y) const {
        return bits[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    bool isEmpty() const { return std::find(bits.begin(), bits.end(), 1) == bits.end(); }
};
