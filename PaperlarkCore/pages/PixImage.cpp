#include "pages/PixImage.h"

#include "pages/ImageFile.h"

#include <leptonica/allheaders.h>

#include <cstring>

void PixImage::Deleter::operator()(Pix* pix) const {
    pixDestroy(&pix);
}

PixImage PixImage::adopt(Pix* pix) {
    PixImage result;
    result.pix_.reset(pix);
    return result;
}

PixImage PixImage::fromImage(const QImage& image, int dpi) {
    PixImage result;
    const bool mono = image.format() == QImage::Format_Mono;
    const QImage grey =
        mono || image.format() == QImage::Format_Grayscale8
            ? image
            : ImageFile::flattened(image).convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull() || grey.width() <= 0 || grey.height() <= 0) {
        return result;
    }
    result.pix_.reset(pixCreate(grey.width(), grey.height(), mono ? 1 : 8));
    if (!result.pix_) {
        return result;
    }
    Pix* pix = result.pix_.get();
    // leptonica keeps rows as 32-bit words with the first pixel in the most
    // significant bits; the rows are copied byte by byte, and the byte order
    // within each word is fixed afterwards in one pass. 1-bit images count
    // 1 as black, the opposite of Format_Mono.
    const auto rowBytes = std::size_t(mono ? (grey.width() + 7) / 8 : grey.width());
    const l_int32 wordsPerLine = pixGetWpl(pix);
    l_uint32* data = pixGetData(pix);
    for (int y = 0; y < grey.height(); ++y) {
        auto* out = reinterpret_cast<unsigned char*>(data + std::ptrdiff_t(y) * wordsPerLine);
        const uchar* in = grey.constScanLine(y);
        if (mono) {
            for (std::size_t i = 0; i < rowBytes; ++i) {
                out[i] = static_cast<unsigned char>(~in[i]);
            }
        } else {
            std::memcpy(out, in, rowBytes);
        }
    }
    pixEndianByteSwap(pix);
    if (mono) {
        pixSetPadBits(pix, 0);
    }
    pixSetResolution(pix, dpi, dpi);
    return result;
}
