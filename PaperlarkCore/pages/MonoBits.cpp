#include "pages/MonoBits.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Each byte of a Mono row as eight grey bytes.
const std::array<std::array<std::uint8_t, 8>, 256>& expansionTable() {
    static const auto table = [] {
        std::array<std::array<std::uint8_t, 8>, 256> result{};
        for (int byte = 0; byte < 256; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                result[byte][bit] = (byte & (0x80 >> bit)) ? 255 : 0;
            }
        }
        return result;
    }();
    return table;
}

QImage monoImage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    if (!image.isNull()) {
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    return image;
}

} // namespace

void MonoBits::expandRow(const std::uint8_t* bits, std::uint8_t* grey, int width) {
    const auto& table = expansionTable();
    const int whole = width / 8;
    for (int i = 0; i < whole; ++i) {
        std::memcpy(grey + i * 8, table[bits[i]].data(), 8);
    }
    if (const int rest = width % 8) {
        std::memcpy(grey + whole * 8, table[bits[whole]].data(), rest);
    }
}

void MonoBits::packRow(const std::uint8_t* grey, std::uint8_t* bits, int width) {
    const int bytes = (width + 7) / 8;
    for (int i = 0; i < bytes; ++i) {
        std::uint8_t value = 0;
        const int count = std::min(8, width - i * 8);
        for (int bit = 0; bit < count; ++bit) {
            value |= std::uint8_t((grey[i * 8 + bit] >> 7) << (7 - bit));
        }
        bits[i] = value;
    }
}

QImage MonoBits::toGrey(const QImage& mono) {
    QImage grey(mono.size(), QImage::Format_Grayscale8);
    if (grey.isNull()) {
        return grey;
    }
    for (int y = 0; y < mono.height(); ++y) {
        expandRow(mono.constScanLine(y), grey.scanLine(y), mono.width());
    }
    grey.setDotsPerMeterX(mono.dotsPerMeterX());
    grey.setDotsPerMeterY(mono.dotsPerMeterY());
    return grey;
}

QImage MonoBits::fromGrey(const QImage& grey) {
    QImage mono = monoImage(grey.width(), grey.height());
    if (mono.isNull()) {
        return mono;
    }
    for (int y = 0; y < grey.height(); ++y) {
        packRow(grey.constScanLine(y), mono.scanLine(y), grey.width());
    }
    mono.setDotsPerMeterX(grey.dotsPerMeterX());
    mono.setDotsPerMeterY(grey.dotsPerMeterY());
    return mono;
}
