#pragma once

#include <QByteArrayView>

class QIODevice;

#include <optional>

// Facts stated by an image file's own bytes, found without decoding pixels:
// the resolution the file declares (PNG pHYs, JPEG JFIF density or Exif,
// TIFF XResolution with its unit, BMP header) and, for JPEG, whether the data
// runs to its end marker. Qt cannot tell "no resolution" from 72 dpi, and it
// decodes a cut-off JPEG without complaint; this can.
class ImageHeader {
public:
    // Horizontal resolution in dots per inch; nothing when the file states
    // none (or a unit-less aspect ratio only).
    std::optional<double> dpi;
    // False when the data visibly ends early (a JPEG without its end marker).
    bool complete = true;

    // Reads what it needs from a random-access device (a file, normally);
    // the device's position is left anywhere.
    static ImageHeader parse(QIODevice& device);
    static ImageHeader parse(QByteArrayView bytes);

    // Converts dots per metre (metresPerUnit 1) or per centimetre (0.01) to
    // dots per inch, snapped to the whole number it was made from when there
    // is one: 300 dpi is stored as 11811 dots per metre, which is 299.9994 dpi.
    static double dpiFromDotsPer(double dots, double metresPerUnit);
};
