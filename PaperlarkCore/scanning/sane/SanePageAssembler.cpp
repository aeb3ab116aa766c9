#include "scanning/sane/SanePageAssembler.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace {

QString unreadable() {
    return QStringLiteral("The scanner sent image data in a form that cannot be read.");
}

QString noData() {
    return QStringLiteral("The scanner did not send any image data.");
}

QString tooLarge() {
    return QStringLiteral("The scanned page is too large to be held in memory.");
}

// Whole rows available: what was announced, or fewer if fewer arrived. An
// unknown height (-1) is whatever arrived.
int rowsOf(const SANE_Parameters& parameters, const QByteArray& data) {
    if (parameters.bytes_per_line <= 0) {
        return 0;
    }
    const qsizetype arrived = data.size() / parameters.bytes_per_line;
    const qsizetype rows =
        parameters.lines >= 0 ? std::min<qsizetype>(arrived, parameters.lines) : arrived;
    return static_cast<int>(std::min<qsizetype>(rows, INT32_MAX));
}

bool rowsHoldPixels(const SANE_Parameters& parameters, int channels) {
    if (parameters.pixels_per_line <= 0) {
        return false;
    }
    const qint64 bits = qint64(parameters.pixels_per_line) * channels * parameters.depth;
    return (bits + 7) / 8 <= parameters.bytes_per_line;
}

// Sample `index` of a row (samples counted across channels), scaled to 8 bits.
// For 1-bit data the raw bit is returned as 0 or 255.
std::uint8_t sample(const uchar* row, qint64 index, int depth) {
    switch (depth) {
    case 1:
        return ((row[index / 8] >> (7 - index % 8)) & 1) ? 255 : 0;
    case 16: {
        std::uint16_t value = 0;
        std::memcpy(&value, row + index * 2, sizeof value);
        return static_cast<std::uint8_t>(value >> 8);
    }
    default:
        return row[index];
    }
}

QImage blankImage(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    if (format == QImage::Format_Mono && !image.isNull()) {
        image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
    return image;
}

QImage toBlackAndWhite(const QImage& source) {
    if (source.format() == QImage::Format_Mono) {
        return source;
    }
    const QImage grey = source.convertToFormat(QImage::Format_Grayscale8);
    QImage mono = blankImage(grey.width(), grey.height(), QImage::Format_Mono);
    if (mono.isNull() || grey.isNull()) {
        return {};
    }
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        uchar* out = mono.scanLine(y);
        std::memset(out, 0, static_cast<size_t>(mono.bytesPerLine()));
        for (int x = 0; x < grey.width(); ++x) {
            if (in[x] < 128) {
                out[x / 8] |= static_cast<uchar>(0x80 >> (x % 8));
            }
        }
    }
    return mono;
}

} // namespace

void SanePageAssembler::addFrame(const SANE_Parameters& parameters, QByteArray data) {
    frames_.push_back({parameters, std::move(data)});
}

Result<QImage, QString> SanePageAssembler::image(ScanConfiguration::PixelType wanted) const {
    auto decoded = decode();
    if (!decoded) {
        return decoded;
    }
    QImage page = std::move(decoded).value();
    switch (wanted) {
    case ScanConfiguration::PixelType::blackAndWhite:
        page = toBlackAndWhite(page);
        break;
    case ScanConfiguration::PixelType::grey:
        if (page.format() != QImage::Format_Grayscale8) {
            page = page.convertToFormat(QImage::Format_Grayscale8);
        }
        break;
    case ScanConfiguration::PixelType::rgb:
        break;
    }
    if (page.isNull()) {
        return tooLarge();
    }
    return page;
}

Result<QImage, QString> SanePageAssembler::decode() const {
    if (frames_.empty()) {
        return noData();
    }
    // A one-pass page is its last grey or RGB frame; a three-pass page needs
    // one frame of each colour.
    std::optional<size_t> single;
    std::optional<size_t> red;
    std::optional<size_t> green;
    std::optional<size_t> blue;
    for (size_t i = 0; i < frames_.size(); ++i) {
        switch (frames_[i].parameters.format) {
        case SANE_FRAME_GRAY:
        case SANE_FRAME_RGB:
            single = i;
            break;
        case SANE_FRAME_RED:
            red = i;
            break;
        case SANE_FRAME_GREEN:
            green = i;
            break;
        case SANE_FRAME_BLUE:
            blue = i;
            break;
        default:
            return unreadable();
        }
    }
    if (single) {
        return decodeSingle(frames_[*single]);
    }
    if (red && green && blue) {
        return decodeThree(frames_[*red], frames_[*green], frames_[*blue]);
    }
    return unreadable();
}

Result<QImage, QString> SanePageAssembler::decodeSingle(const Frame& frame) {
    const SANE_Parameters& p = frame.parameters;
    const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    if ((p.depth != 1 && p.depth != 8 && p.depth != 16) || !rowsHoldPixels(p, channels)) {
        return unreadable();
    }
    const int rows = rowsOf(p, frame.data);
    if (rows <= 0) {
        return noData();
    }
    const int width = p.pixels_per_line;
    const auto* data = reinterpret_cast<const uchar*>(frame.data.constData());
    const auto rowStart = [&](int y) { return data + qint64(y) * p.bytes_per_line; };

    if (channels == 1 && p.depth == 1) {
        QImage image = blankImage(width, rows, QImage::Format_Mono);
        if (image.isNull()) {
            return tooLarge();
        }
        for (int y = 0; y < rows; ++y) {
            std::memcpy(image.scanLine(y), rowStart(y), static_cast<size_t>((width + 7) / 8));
        }
        return image;
    }

    const QImage::Format format = channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8;
    QImage image = blankImage(width, rows, format);
    if (image.isNull()) {
        return tooLarge();
    }
    const qint64 samples = qint64(width) * channels;
    for (int y = 0; y < rows; ++y) {
        const uchar* in = rowStart(y);
        uchar* out = image.scanLine(y);
        if (p.depth == 8) {
            std::memcpy(out, in, static_cast<size_t>(samples));
        } else {
            for (qint64 i = 0; i < samples; ++i) {
                out[i] = sample(in, i, p.depth);
            }
        }
    }
    return image;
}

Result<QImage, QString> SanePageAssembler::decodeThree(const Frame& red, const Frame& green,
                                                       const Frame& blue) {
    const std::array<const Frame*, 3> frames{&red, &green, &blue};
    const SANE_Parameters& first = red.parameters;
    int rows = INT32_MAX;
    for (const Frame* frame : frames) {
        const SANE_Parameters& p = frame->parameters;
        if (p.pixels_per_line != first.pixels_per_line || p.depth != first.depth ||
            (p.depth != 1 && p.depth != 8 && p.depth != 16) || !rowsHoldPixels(p, 1)) {
            return unreadable();
        }
        rows = std::min(rows, rowsOf(p, frame->data));
    }
    if (rows <= 0) {
        return noData();
    }
    const int width = first.pixels_per_line;
    QImage image = blankImage(width, rows, QImage::Format_RGB888);
    if (image.isNull()) {
        return tooLarge();
    }
    for (int channel = 0; channel < 3; ++channel) {
        const SANE_Parameters& p = frames[channel]->parameters;
        const auto* data = reinterpret_cast<const uchar*>(frames[channel]->data.constData());
        for (int y = 0; y < rows; ++y) {
            const uchar* in = data + qint64(y) * p.bytes_per_line;
            uchar* out = image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                out[x * 3 + channel] = sample(in, x, p.depth);
            }
        }
    }
    return image;
}
