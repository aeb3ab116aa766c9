#include "pages/CcittG4.h"

#include "pages/TiffMemoryFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Writes the image as a one-strip G4 TIFF (1 = black, as the codec counts
// its first run as white).
bool writeTiff(const QImage& mono, TiffMemoryFile& file) {
    const TiffMemoryFile::Handle tiff = file.open("w");
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    const auto width = std::uint32_t(mono.width()), height = std::uint32_t(mono.height());
    if (!TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width) ||
        !TIFFSetField(t, TIFFTAG_IMAGELENGTH, height) ||
        !TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1) ||
        !TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1) ||
        !TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) ||
        !TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) ||
        !TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) ||
        !TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height)) {
        return false;
    }
    const auto rowBytes = std::size_t((mono.width() + 7) / 8);
    std::vector<unsigned char> row(rowBytes);
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* in = mono.constScanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            row[i] = static_cast<unsigned char>(~in[i]);
        }
        if (TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0) < 0) {
            return false;
        }
    }
    if (!TIFFWriteDirectory(t)) {
        return false;
    }
    return true;
}

} // namespace

QByteArray CcittG4::encode(const QImage& mono) {
    if (mono.format() != QImage::Format_Mono || mono.isNull()) {
        return {};
    }
    TiffMemoryFile file;
    if (!writeTiff(mono, file)) {
        return {};
    }
    file.position = 0;
    const TiffMemoryFile::Handle tiff = file.open("r");
    if (!tiff || TIFFNumberOfStrips(tiff.get()) != 1) {
        return {};
    }
    const uint64_t* counts = nullptr;
    if (!TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts || counts[0] == 0 ||
        counts[0] > std::uint64_t(std::numeric_limits<int>::max())) {
        return {};
    }
    QByteArray data{qsizetype(counts[0]), Qt::Uninitialized};
    if (TIFFReadRawStrip(tiff.get(), 0, data.data(), data.size()) != data.size()) {
        return {};
    }
    return data;
}
