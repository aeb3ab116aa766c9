#pragma once

#include <QImage>

#include <cstdint>

// Row conversions between 1-bit black-and-white images (QImage::Format_Mono,
// most significant bit first, 0 = black) and 8-bit grey, much faster than
// QImage's general conversions, which go through 32-bit pixels.
class MonoBits {
public:
    // `width` pixels of a Mono row to grey bytes (0 or 255).
    static void expandRow(const std::uint8_t* bits, std::uint8_t* grey, int width);
    // `width` grey bytes to a Mono row; values from 128 up are white.
    static void packRow(const std::uint8_t* grey, std::uint8_t* bits, int width);

    // Whole-image forms; a null image when memory runs out.
    static QImage toGrey(const QImage& mono);
    static QImage fromGrey(const QImage& grey);
};
