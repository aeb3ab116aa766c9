#pragma once

#include <QByteArray>

#include <cstdint>

// Image samples as a PDF image filter chain delivers them: `height` rows of
// `width` pixels, each pixel `components` samples of `bitsPerComponent`
// bits (1, 2, 4, 8 or 16, big-endian), every row starting on a byte.
struct PdfSamples {
    int width = 0;
    int height = 0;
    int components = 1;
    int bitsPerComponent = 8;
    QByteArray data;

    std::int64_t rowBytes() const {
        return (std::int64_t(width) * components * bitsPerComponent + 7) / 8;
    }
    // Whether `data` holds every row.
    bool complete() const { return width > 0 && height > 0 && data.size() >= rowBytes() * height; }
};
