#pragma once

#include <QImage>

#include <optional>

class QIODevice;

// JPEG encoding with libjpeg: Format_Mono and Format_Grayscale8 as one-channel
// grey JPEG, Format_RGB32 and Format_RGB888 as colour, Format_ARGB32 flattened
// onto white. The
// Huffman tables are optimised for each image, which makes files several
// percent smaller for a little more time.
class JpegEncoder {
public:
    // How finely a colour JPEG keeps colour: at half the resolution in both
    // directions (libjpeg's default, 4:2:0), or at every pixel (4:4:4).
    enum class Chroma { halved, full };

    // `quality` 1...100 as libjpeg understands it. A dpi greater than 1 is
    // stored as JFIF density in dots per inch; otherwise no resolution is
    // stated. False when libjpeg or the device reported an error.
    static bool write(const QImage& image, QIODevice& device, double dpi, int quality,
                      Chroma chroma = Chroma::halved);

    // Whether the JPEG that write() makes of the image at `quality` (colour
    // halved) takes at least `bytes` bytes, without making all of it: the
    // image is encoded with libjpeg's standard tables, which write()'s
    // optimised ones undercut by a few per cent, until the output passes
    // `bytes` with room for that, or the image ends (false). Nothing when
    // libjpeg fails.
    static std::optional<bool> reaches(const QImage& image, int quality, qint64 bytes);
};
