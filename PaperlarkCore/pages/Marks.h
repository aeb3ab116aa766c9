#pragma once

#include "pages/PixelMask.h"
#include "pages/ReducedGrey.h"

#include <cstdint>
#include <vector>

// The marks on a page's working copy: the groups of set pixels of a mask
// that touch each other (along a side or at a corner), with what the
// measures tell them apart by.
class Marks {
public:
    struct Mark {
        std::int64_t pixels = 0;
        // The bounding box, edges included.
        int left = 0, top = 0, right = 0, bottom = 0;
        // Pixels on the outermost ring of the copy.
        std::int64_t edgePixels = 0;
        // Of the copy's grey values under the mark: their sum and the sum of
        // their squares.
        double greySum = 0;
        double greySquares = 0;

        int width() const { return right - left + 1; }
        int height() const { return bottom - top + 1; }
        // The standard deviation of the grey values under the mark.
        double greyDeviation() const;
    };

    static constexpr std::int32_t none = -1;
    // Per pixel of the mask, the index of its mark in `marks`, or none.
    std::vector<std::int32_t> labels;
    std::vector<Mark> marks;

    // The marks of `mask`, which covers `grey` pixel for pixel.
    static Marks of(const PixelMask& mask, const ReducedGrey& grey);
};
