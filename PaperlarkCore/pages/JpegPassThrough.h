#pragma once

#include <QByteArray>
#include <QSize>

#include <optional>

// Whether a stored JPEG can go into a PDF exactly as it is instead of being
// decoded and encoded again at a JPEG quality: when it is a plain 8-bit
// baseline JPEG (Huffman-coded, YCbCr or grey) of the page's pixels whose
// quantisation is nowhere finer than libjpeg's at that quality. Encoding such
// a file again could only lose detail and gain bytes, and takes time.
class JpegPassThrough {
public:
    struct Layout {
        bool colour = true; // three YCbCr components; otherwise one grey
    };

    // Reads the header only. Nothing when the file does not qualify or
    // libjpeg reports an error. `quality` is a libjpeg quality, 1...100.
    static std::optional<Layout> check(const QByteArray& jpeg, QSize pixels, int quality);
};
