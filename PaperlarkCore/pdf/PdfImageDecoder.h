#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <optional>

class QPDFObjectHandle;

// Turns one image XObject of a PDF into the pixels a viewer would show for
// it, without drawing: the stream's filters are undone (Flate, LZW, ASCII,
// RunLength, then DCT, CCITT fax, JBIG2 or JPEG 2000), its samples (1 to 16
// bits) are read through its colour space (DeviceGray, DeviceRGB,
// DeviceCMYK, CalGray, CalRGB, ICCBased by its component count, Indexed
// over any of those) and its Decode array. An ICC profile is not applied:
// the samples are taken as the device values they mostly are.
//
// A JPEG whose pixels a JPEG decoder shows as they are (grey or RGB, 8-bit,
// no Decode array, a colour space that agrees) can be kept as its bytes.
//
// Images that are masks, carry transparency (SMask, Mask), use a colour
// space not listed, exceed the limits or cannot be decoded in full give
// nothing: the caller draws the page instead.
class PdfImageDecoder {
public:
    struct Image {
        // The JPEG file as the PDF holds it, when kept as it is ...
        QByteArray jpeg;
        // ... otherwise the pixels: Format_Mono (0 = black), Format_Grayscale8
        // or Format_RGB888.
        QImage pixels;
        // The image's size in pixels, either way.
        QSize size;
    };

    // `maxBytes` bounds the decoded samples and the pixels.
    static std::optional<Image> decode(QPDFObjectHandle image, bool jpegAsIs,
                                       std::int64_t maxBytes);
};
