#pragma once

#include <QImage>

class QIODevice;

// PNG encoding with libpng, for the image formats ImageFile works with:
// Format_Mono as 1-bit grey, Format_Grayscale8 as 8-bit grey, Format_ARGB32
// as RGBA and Format_RGB32 as RGB. Rows are stored unfiltered at level 0 and
// filtered with the Sub and Up filters otherwise.
class PngEncoder {
public:
    // `image` must already be in one of the formats above; `compression` is
    // a zlib level 0...9. A dpi greater than 1 is stored in the pHYs chunk.
    // False when libpng or the device reported an error.
    static bool write(const QImage& image, QIODevice& device, double dpi, int compression);
};
