#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

#include <functional>

class QIODevice;

// PNG encoding for the image formats ImageFile works with: Format_Mono as
// 1-bit grey, Format_Grayscale8 as 8-bit grey, Format_ARGB32 as RGBA and
// Format_RGB32 and Format_RGB888 as RGB. The whole image is compressed in one go with
// libdeflate, which is two to three times as fast as zlib at the same size.
// Rows of 8-bit samples use the Up filter (on scanned pages, whose rows are
// alike and whose neighbouring samples carry independent noise, it beats the
// other filters and the adaptive choice); 1-bit rows and level 0 stay
// unfiltered.
class PngEncoder {
public:
    // An extra chunk: a four-letter type and its data.
    struct Chunk {
        QByteArray type;
        QByteArray data;
    };

    // `image` must already be in one of the formats above; `compression` is
    // a deflate level 0...12 (0 stores, 1 is fastest, 6 the usual default).
    // A dpi greater than 1 is stored in the pHYs chunk. The chunks `extra`
    // gives follow it, before the image data; they are asked for once the
    // image data is compressed, so they can be worked out meanwhile on
    // another thread. False when memory ran out or the device reported an
    // error.
    using ExtraChunks = std::function<QList<Chunk>()>;
    static bool write(const QImage& image, QIODevice& device, double dpi, int compression,
                      const ExtraChunks& extra = {});
};
