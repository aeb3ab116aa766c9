#include "pages/CcittG4.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A TIFF file in memory, for libtiff's client I/O.
struct MemoryFile {
    std::vector<unsigned char> bytes;
    std::uint64_t position = 0;
};

tmsize_t readProc(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (size < 0 || file->position >= file->bytes.size()) {
        return 0;
    }
    const auto count =
        std::min<std::uint64_t>(std::uint64_t(size), file->bytes.size() - file->position);
    std::memcpy(data, file->bytes.data() + file->position, count);
    file->position += count;
    return tmsize_t(count);
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (size < 0) {
        return 0;
    }
    const std::uint64_t end = file->position + std::uint64_t(size);
    if (end > file->bytes.size()) {
        file->bytes.resize(end);
    }
    std::memcpy(file->bytes.data() + file->position, data, std::size_t(size));
    file->position = end;
    return size;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    switch (whence) {
    case SEEK_SET:
        file->position = offset;
        break;
    case SEEK_CUR:
        file->position += offset;
        break;
    case SEEK_END:
        file->position = file->bytes.size() + offset;
        break;
    default:
        return toff_t(-1);
    }
    return file->position;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages are not shown: a failure is reported by the result.
int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

Tiff open(MemoryFile& file, const char* mode) {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    return Tiff(TIFFClientOpenExt("memory", mode, &file, readProc, writeProc, seekProc, closeProc,
                                  sizeProc, mapProc, unmapProc, options.get()));
}

// Writes the image as a one-strip G4 TIFF (1 = black, as the codec counts
// its first run as white).
bool writeTiff(const QImage& mono, MemoryFile& file) {
    Tiff tiff = open(file, "w");
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
    MemoryFile file;
    if (!writeTiff(mono, file)) {
        return {};
    }
    file.position = 0;
    const Tiff tiff = open(file, "r");
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
