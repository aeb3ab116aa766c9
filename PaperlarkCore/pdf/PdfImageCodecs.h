#pragma once

#include "pdf/PdfSamples.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

// The image codecs a PDF image stream may end with, decoding to samples.
// Each returns nothing for data it cannot decode in full, for images larger
// than `maxBytes` of samples, and when its library reports an error.
// Stateless.
namespace PdfImageCodecs {

// CCITT fax data (CCITTFaxDecode with its parameters): 1-bit samples, 0 for
// black unless blackIs1 (as the filter delivers them).
struct FaxParameters {
    int k = 0;
    int columns = 1728;
    int rows = 0;
    bool blackIs1 = false;
    bool encodedByteAlign = false;
};
std::optional<PdfSamples> fax(const QByteArray& data, const FaxParameters& parameters,
                              std::int64_t maxBytes);

// JBIG2 data with its optional global segments: 1-bit samples, 0 for black.
std::optional<PdfSamples> jbig2(const QByteArray& data, const QByteArray& globals,
                                std::int64_t maxBytes);

// A JPEG 2000 code stream or JP2 file: 8-bit samples of its colour
// components (an alpha channel is left out); `components` is 1, 3 or 4,
// sYCC already turned into RGB.
std::optional<PdfSamples> jpx(const QByteArray& data, std::int64_t maxBytes);

// A JPEG file: 8-bit samples, 1 (grey), 3 (RGB) or 4 (CMYK as stored)
// components. `colourTransform` is the PDF's ColorTransform when it states
// one.
std::optional<PdfSamples> jpeg(const QByteArray& data, std::optional<int> colourTransform,
                               std::int64_t maxBytes);

// Facts from a JPEG's header without decoding it: none when libjpeg rejects
// the header.
struct JpegLayout {
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 8;
    // Three components stored as YCbCr (JFIF, or as an Adobe marker says).
    bool ycc = false;
};
std::optional<JpegLayout> jpegLayout(const QByteArray& data);

} // namespace PdfImageCodecs
