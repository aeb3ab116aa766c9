#include "pages/ImageHeader.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double metresPerInch = 0.0254;

// Bounds-checked reads from a file, through a small window of it, so that
// the header of a large file is read without loading the file (and a file
// that shrinks meanwhile reads as zeros rather than faulting, as a memory map
// would).
class Bytes {
public:
    Bytes(QIODevice& device, qint64 start, qint64 size)
        : device_(&device), start_(start), size_(std::max<qint64>(size, 0)) {}

    qsizetype size() const { return qsizetype(size_); }
    bool has(qsizetype offset, qsizetype count) const {
        return offset >= 0 && count >= 0 && offset <= size_ - count;
    }
    std::uint8_t u8(qsizetype offset) const {
        if (!has(offset, 1)) {
            return 0;
        }
        if (offset < windowStart_ || offset >= windowStart_ + window_.size()) {
            load(offset);
        }
        const qsizetype index = offset - qsizetype(windowStart_);
        return index < window_.size() ? std::uint8_t(window_[index]) : 0;
    }
    std::uint32_t u16(qsizetype offset, bool bigEndian) const {
        const std::uint32_t a = u8(offset), b = u8(offset + 1);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    }
    std::uint32_t u32(qsizetype offset, bool bigEndian) const {
        const std::uint32_t hi = u16(offset, bigEndian), lo = u16(offset + 2, bigEndian);
        return bigEndian ? (hi << 16 | lo) : (lo << 16 | hi);
    }
    bool startsWith(qsizetype offset, QByteArrayView text) const {
        if (!has(offset, text.size())) {
            return false;
        }
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (u8(offset + i) != std::uint8_t(text[i])) {
                return false;
            }
        }
        return true;
    }
    // The next offset from `from` on holding `value`, or size().
    qsizetype find(std::uint8_t value, qsizetype from) const {
        while (has(from, 1)) {
            u8(from); // brings `from` into the window
            const qsizetype index = from - qsizetype(windowStart_);
            if (index >= window_.size()) {
                return size();
            }
            const char* begin = window_.constData() + index;
            const void* found = std::memchr(begin, value, std::size_t(window_.size() - index));
            if (found) {
                return from + (static_cast<const char*>(found) - begin);
            }
            from += window_.size() - index;
        }
        return size();
    }
    Bytes sliced(qsizetype offset, qsizetype count) const {
        return has(offset, count) ? Bytes(*device_, start_ + offset, count)
                                  : Bytes(*device_, start_, 0);
    }

private:
    void load(qsizetype offset) const {
        constexpr qint64 windowSize = 64 * 1024;
        windowStart_ = offset;
        window_.clear();
        if (device_->seek(start_ + offset)) {
            window_ = device_->read(std::min(windowSize, size_ - offset));
        }
    }

    QIODevice* device_;
    qint64 start_;
    qint64 size_;
    mutable QByteArray window_;
    mutable qint64 windowStart_ = 0;
};

std::optional<double> statedDpi(double value) {
    if (std::isfinite(value) && value > 1.0) {
        return value;
    }
    return std::nullopt;
}

// PNG: the pHYs chunk, which must come before the first IDAT.
ImageHeader parsePNG(const Bytes& bytes) {
    ImageHeader header;
    qsizetype offset = 8;
    while (bytes.has(offset, 8)) {
        const std::uint32_t length = bytes.u32(offset, true);
        const qsizetype data = offset + 8;
        if (bytes.startsWith(offset + 4, "IDAT") || bytes.startsWith(offset + 4, "IEND")) {
            break;
        }
        if (bytes.startsWith(offset + 4, "pHYs") && length == 9 && bytes.has(data, 9)) {
            if (bytes.u8(data + 8) == 1) { // unit: metre
                header.dpi = statedDpi(ImageHeader::dpiFromDotsPer(bytes.u32(data, true), 1.0));
            }
            break;
        }
        offset = data + qsizetype(length) + 4;
    }
    return header;
}

// TIFF structure (TIFF files and JPEG Exif blocks): XResolution and
// ResolutionUnit of the first image file directory.
std::optional<double> parseTIFFResolution(const Bytes& bytes) {
    if (!bytes.has(0, 8)) {
        return std::nullopt;
    }
    bool bigEndian;
    if (bytes.startsWith(0, "II")) {
        bigEndian = false;
    } else if (bytes.startsWith(0, "MM")) {
        bigEndian = true;
    } else {
        return std::nullopt;
    }
    if (bytes.u16(2, bigEndian) != 42) {
        return std::nullopt;
    }
    const qsizetype directory = bytes.u32(4, bigEndian);
    if (!bytes.has(directory, 2)) {
        return std::nullopt;
    }
    const std::uint32_t entries = bytes.u16(directory, bigEndian);
    std::optional<double> resolution;
    std::uint32_t unit = 2; // inch, the default
    for (std::uint32_t i = 0; i < entries; ++i) {
        const qsizetype entry = directory + 2 + qsizetype(i) * 12;
        if (!bytes.has(entry, 12)) {
            break;
        }
        const std::uint32_t tag = bytes.u16(entry, bigEndian);
        const std::uint32_t type = bytes.u16(entry + 2, bigEndian);
        if (tag == 0x011A && type == 5) { // XResolution, RATIONAL
            const qsizetype value = bytes.u32(entry + 8, bigEndian);
            if (bytes.has(value, 8)) {
                const std::uint32_t numerator = bytes.u32(value, bigEndian);
                const std::uint32_t denominator = bytes.u32(value + 4, bigEndian);
                if (denominator != 0) {
                    resolution = double(numerator) / double(denominator);
                }
            }
        } else if (tag == 0x0128 && type == 3) { // ResolutionUnit, SHORT
            unit = bytes.u16(entry + 8, bigEndian);
        }
    }
    if (!resolution) {
        return std::nullopt;
    }
    switch (unit) {
    case 3:
        return statedDpi(ImageHeader::dpiFromDotsPer(*resolution, 0.01));
    default:
        // 2 is inches. 1 (no absolute unit) is written by tools that mean
        // dots per inch all the same, and any other value is not a unit: the
        // number is taken as dots per inch.
        return statedDpi(*resolution);
    }
}

// JPEG: JFIF density, else Exif; and whether the data reaches its end marker.
ImageHeader parseJPEG(const Bytes& bytes) {
    ImageHeader header;
    header.complete = false;
    std::optional<double> jfif;
    std::optional<double> exif;
    qsizetype offset = 2;
    bool inScan = false;
    while (offset < bytes.size()) {
        if (inScan) {
            // Entropy-coded data: 0xFF is followed by 0x00 (stuffing), a restart
            // marker or fill bytes; anything else is the next marker.
            offset = bytes.find(0xFF, offset);
            if (!bytes.has(offset, 2)) {
                break;
            }
            const std::uint8_t next = bytes.u8(offset + 1);
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                offset += next == 0xFF ? 1 : 2;
                continue;
            }
            inScan = false;
        }
        if (!bytes.has(offset, 2) || bytes.u8(offset) != 0xFF) {
            break; // not a marker where one must be
        }
        const std::uint8_t marker = bytes.u8(offset + 1);
        if (marker == 0xFF) {
            ++offset; // fill byte
            continue;
        }
        if (marker == 0xD9) {
            header.complete = true;
            break;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            offset += 2;
            continue;
        }
        if (!bytes.has(offset + 2, 2)) {
            break;
        }
        const qsizetype length = bytes.u16(offset + 2, true);
        const qsizetype data = offset + 4;
        if (length < 2 || !bytes.has(offset + 2, length)) {
            break;
        }
        if (marker == 0xE0 && bytes.startsWith(data, QByteArrayView("JFIF\0", 5)) &&
            length >= 2 + 12) {
            const std::uint8_t units = bytes.u8(data + 7);
            const double density = bytes.u16(data + 8, true);
            if (units == 1) {
                jfif = statedDpi(density);
            } else if (units == 2) {
                jfif = statedDpi(ImageHeader::dpiFromDotsPer(density, 0.01));
            }
        } else if (marker == 0xE1 && bytes.startsWith(data, QByteArrayView("Exif\0\0", 6))) {
            // Exif offsets count from the start of its TIFF header.
            exif = parseTIFFResolution(bytes.sliced(data + 6, length - 2 - 6));
        }
        offset = offset + 2 + length;
        if (marker == 0xDA) {
            inScan = true;
        }
    }
    header.dpi = jfif ? jfif : exif;
    return header;
}

// BMP: biXPelsPerMeter of a BITMAPINFOHEADER or later; and, for
// uncompressed pixels, whether the file holds all the rows it declares.
ImageHeader parseBMP(const Bytes& bytes) {
    ImageHeader header;
    if (!bytes.has(14, 40) || bytes.u32(14, false) < 40) {
        return header; // the old 12-byte header states no resolution
    }
    const auto perMetre = std::int32_t(bytes.u32(38, false));
    if (perMetre > 0) {
        header.dpi = statedDpi(ImageHeader::dpiFromDotsPer(perMetre, 1.0));
    }
    const std::uint32_t compression = bytes.u32(30, false);
    if (compression == 0 || compression == 3) { // BI_RGB, BI_BITFIELDS
        const std::int64_t pixelsAt = bytes.u32(10, false);
        const std::int64_t width = std::int32_t(bytes.u32(18, false));
        const std::int64_t height = std::abs(std::int64_t(std::int32_t(bytes.u32(22, false))));
        const std::int64_t bitsPerPixel = bytes.u16(28, false);
        // Every field is the file's own word: a product that does not fit
        // is a file that cannot hold its rows.
        std::int64_t rowBits = 0, pixelBytes = 0, end = 0;
        header.complete = width > 0 && !__builtin_mul_overflow(width, bitsPerPixel, &rowBits) &&
                          !__builtin_mul_overflow((rowBits + 31) / 32 * 4, height, &pixelBytes) &&
                          !__builtin_add_overflow(pixelsAt, pixelBytes, &end) &&
                          end <= bytes.size();
    }
    return header;
}

} // namespace

double ImageHeader::dpiFromDotsPer(double dots, double metresPerUnit) {
    const double exact = dots * metresPerInch / metresPerUnit;
    const double whole = std::round(exact);
    if (whole >= 1 && (std::round(whole * metresPerUnit / metresPerInch) == dots ||
                       std::abs(exact - whole) < 1e-3)) {
        return whole;
    }
    return exact;
}

ImageHeader ImageHeader::parse(QByteArrayView view) {
    QByteArray copy = view.toByteArray();
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return parse(buffer);
}

ImageHeader ImageHeader::parse(QIODevice& device) {
    const Bytes bytes(device, 0, device.size());
    if (bytes.startsWith(0, "\x89PNG\r\n\x1a\n")) {
        return parsePNG(bytes);
    }
    if (bytes.startsWith(0, "\xFF\xD8")) {
        return parseJPEG(bytes);
    }
    if (bytes.startsWith(0, "II") || bytes.startsWith(0, "MM")) {
        ImageHeader header;
        header.dpi = parseTIFFResolution(bytes);
        return header;
    }
    if (bytes.startsWith(0, "BM")) {
        return parseBMP(bytes);
    }
    return {};
}
