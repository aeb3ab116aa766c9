#include "pdf/PdfImageDecoder.h"

#include "pdf/PdfImageCodecs.h"
#include "pdf/PdfSamples.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Handle = QPDFObjectHandle;

// ---- Colour spaces -----------------------------------------------------------

enum class Family { grey, rgb, cmyk, indexed };

int componentsOf(Family family) {
    switch (family) {
    case Family::grey:
    case Family::indexed:
        return 1;
    case Family::rgb:
        return 3;
    case Family::cmyk:
        break;
    }
    return 4;
}

struct ColourSpace {
    Family family = Family::grey;
    // Indexed: the base's family, the highest index and the colours as
    // RGB triples (hival + 1 of them).
    Family base = Family::grey;
    int hival = 0;
    std::vector<std::array<std::uint8_t, 3>> palette;
};

std::optional<Family> deviceFamily(Handle space) {
    if (space.isName()) {
        const std::string name = space.getName();
        if (name == "/DeviceGray" || name == "/G" || name == "/CalGray") {
            return Family::grey;
        }
        if (name == "/DeviceRGB" || name == "/RGB" || name == "/CalRGB") {
            return Family::rgb;
        }
        if (name == "/DeviceCMYK" || name == "/CMYK") {
            return Family::cmyk;
        }
        return std::nullopt;
    }
    if (!space.isArray() || space.getArrayNItems() < 1 || !space.getArrayItem(0).isName()) {
        return std::nullopt;
    }
    const std::string kind = space.getArrayItem(0).getName();
    if (kind == "/CalGray" || kind == "/DeviceGray") {
        return Family::grey;
    }
    if (kind == "/CalRGB" || kind == "/DeviceRGB") {
        return Family::rgb;
    }
    if (kind == "/DeviceCMYK") {
        return Family::cmyk;
    }
    if (kind == "/ICCBased" && space.getArrayNItems() >= 2 && space.getArrayItem(1).isStream()) {
        Handle n = space.getArrayItem(1).getDict().getKey("/N");
        if (n.isInteger()) {
            switch (n.getIntValue()) {
            case 1:
                return Family::grey;
            case 3:
                return Family::rgb;
            case 4:
                return Family::cmyk;
            default:
                break;
            }
        }
    }
    return std::nullopt;
}

std::uint8_t toByte(double unit) {
    return std::uint8_t(std::clamp(unit * 255.0 + 0.5, 0.0, 255.0));
}

std::array<std::uint8_t, 3> cmykToRgb(double c, double m, double y, double k) {
    return {toByte((1 - c) * (1 - k)), toByte((1 - m) * (1 - k)), toByte((1 - y) * (1 - k))};
}

std::optional<ColourSpace> colourSpace(Handle space) {
    if (const auto family = deviceFamily(space)) {
        return ColourSpace{*family, *family, 0, {}};
    }
    if (!space.isArray() || space.getArrayNItems() != 4 || !space.getArrayItem(0).isName()) {
        return std::nullopt;
    }
    const std::string kind = space.getArrayItem(0).getName();
    if (kind != "/Indexed" && kind != "/I") {
        return std::nullopt;
    }
    const auto base = deviceFamily(space.getArrayItem(1));
    Handle hival = space.getArrayItem(2);
    if (!base || !hival.isInteger() || hival.getIntValue() < 0 || hival.getIntValue() > 255) {
        return std::nullopt;
    }
    Handle lookup = space.getArrayItem(3);
    std::string table;
    if (lookup.isString()) {
        table = lookup.getStringValue();
    } else if (lookup.isStream()) {
        const auto data = lookup.getStreamData(qpdf_dl_generalized);
        table.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    } else {
        return std::nullopt;
    }
    ColourSpace result{Family::indexed, *base, int(hival.getIntValue()), {}};
    const int n = componentsOf(*base);
    // A short table reads as zeros, as viewers read it.
    table.resize(std::size_t(result.hival + 1) * std::size_t(n), '\0');
    for (int i = 0; i <= result.hival; ++i) {
        const auto* entry = reinterpret_cast<const std::uint8_t*>(table.data()) + i * n;
        if (*base == Family::grey) {
            result.palette.push_back({entry[0], entry[0], entry[0]});
        } else if (*base == Family::rgb) {
            result.palette.push_back({entry[0], entry[1], entry[2]});
        } else {
            result.palette.push_back(
                cmykToRgb(entry[0] / 255.0, entry[1] / 255.0, entry[2] / 255.0, entry[3] / 255.0));
        }
    }
    return result;
}

// ---- Stream data -------------------------------------------------------------

// Collects a stream's decoded data, up to a limit.
class Collector : public Pipeline {
public:
    explicit Collector(qsizetype limit) : Pipeline("image data", nullptr), limit_(limit) {}
    void write(unsigned char const* data, size_t length) override {
        if (qsizetype(length) > limit_ - bytes.size()) {
            overflow = true;
            throw std::length_error("image data larger than its image");
        }
        bytes.append(reinterpret_cast<const char*>(data), qsizetype(length));
    }
    void finish() override {}

    QByteArray bytes;
    bool overflow = false;

private:
    qsizetype limit_;
};

bool isGeneralFilter(const std::string& name) {
    return name == "/FlateDecode" || name == "/Fl" || name == "/LZWDecode" || name == "/LZW" ||
           name == "/ASCII85Decode" || name == "/A85" || name == "/ASCIIHexDecode" ||
           name == "/AHx" || name == "/RunLengthDecode" || name == "/RL";
}

struct Filter {
    std::string name;
    Handle parameters;
};

std::optional<std::vector<Filter>> filtersOf(Handle dict) {
    Handle filter = dict.getKey("/Filter");
    Handle parameters = dict.getKey("/DecodeParms");
    std::vector<Filter> filters;
    if (filter.isName()) {
        filters.push_back({filter.getName(), parameters.isArray() && parameters.getArrayNItems() > 0
                                                 ? parameters.getArrayItem(0)
                                                 : parameters});
    } else if (filter.isArray()) {
        for (int i = 0; i < filter.getArrayNItems(); ++i) {
            Handle name = filter.getArrayItem(i);
            if (!name.isName()) {
                return std::nullopt;
            }
            filters.push_back({name.getName(), parameters.isArray() ? parameters.getArrayItem(i)
                                                                    : Handle::newNull()});
        }
    } else if (!filter.isNull()) {
        return std::nullopt;
    }
    return filters;
}

// A direct copy of an object that belongs to no document (for parameters).
Handle detached(Handle object) {
    return object.isNull() ? Handle::newNull() : Handle::parse(object.unparseResolved());
}

// The stream's data with the general filters undone: all of them, or all
// but a final image codec (`codecs` filters are left in place).
std::optional<QByteArray> undoGeneralFilters(Handle stream, const std::vector<Filter>& filters,
                                             std::size_t codecs, qsizetype limit) {
    try {
        const std::size_t general = filters.size() - codecs;
        Collector collector(limit);
        bool attempted = false;
        bool ok = false;
        if (codecs == 0) {
            ok = stream.pipeStreamData(&collector, &attempted, 0, qpdf_dl_generalized, true);
            ok = ok && (attempted || filters.empty());
        } else if (general == 0) {
            const auto raw = stream.getRawStreamData();
            if (qsizetype(raw->getSize()) > limit) {
                return std::nullopt;
            }
            collector.write(raw->getBuffer(), raw->getSize());
            ok = true;
        } else {
            // The raw data in a stream of its own whose filters are the
            // general ones alone.
            QPDF scratch;
            scratch.emptyPDF();
            const auto raw = stream.getRawStreamData();
            Handle copy = scratch.newStream();
            Handle names = Handle::newArray();
            Handle parameters = Handle::newArray();
            for (std::size_t i = 0; i < general; ++i) {
                names.appendItem(Handle::newName(filters[i].name));
                parameters.appendItem(detached(filters[i].parameters));
            }
            copy.replaceStreamData(raw, names, parameters);
            ok = copy.pipeStreamData(&collector, &attempted, 0, qpdf_dl_generalized, true) &&
                 attempted;
        }
        if (!ok || collector.overflow) {
            return std::nullopt;
        }
        return std::move(collector.bytes);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int integer(Handle dict, const char* key, int fallback) {
    if (!dict.isDictionary()) {
        return fallback;
    }
    Handle value = dict.getKey(key);
    return value.isInteger() ? int(std::clamp<long long>(value.getIntValue(), -1000000, 1000000))
                             : fallback;
}

bool flag(Handle dict, const char* key) {
    if (!dict.isDictionary()) {
        return false;
    }
    Handle value = dict.getKey(key);
    return value.isBool() && value.getBoolValue();
}

// ---- Samples to pixels -------------------------------------------------------

// The sample at `index` of a row.
inline unsigned sampleAt(const std::uint8_t* row, std::int64_t index, int bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 16:
        return unsigned(row[2 * index]) << 8 | row[2 * index + 1];
    default: {
        const std::int64_t bit = index * bits;
        const int shift = 8 - bits - int(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << bits) - 1);
    }
    }
}

// The Decode array's pairs, or the defaults.
std::vector<std::pair<double, double>> decodeRanges(Handle dict, int components, double high) {
    std::vector<std::pair<double, double>> ranges(std::size_t(components), {0.0, high});
    Handle decode = dict.getKey("/Decode");
    if (decode.isArray() && decode.getArrayNItems() >= 2 * components) {
        for (int c = 0; c < components; ++c) {
            Handle low = decode.getArrayItem(2 * c), top = decode.getArrayItem(2 * c + 1);
            if (low.isNumber() && top.isNumber()) {
                ranges[std::size_t(c)] = {low.getNumericValue(), top.getNumericValue()};
            }
        }
    }
    return ranges;
}

QImage monoImage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    if (!image.isNull()) {
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    return image;
}

// 1-bit samples that the Decode array maps to pure black and white.
QImage monoFromBits(const PdfSamples& s, bool invert) {
    QImage image = monoImage(s.width, s.height);
    if (image.isNull()) {
        return image;
    }
    const auto rowBytes = std::size_t(s.rowBytes());
    for (int y = 0; y < s.height; ++y) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(s.data.constData()) + y * rowBytes;
        std::uint8_t* out = image.scanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            out[i] = invert ? std::uint8_t(~in[i]) : in[i];
        }
    }
    return image;
}

QImage pixelsOf(const PdfSamples& s, const ColourSpace& space, Handle dict) {
    const int n = s.components;
    const double maximum = double((std::int64_t{1} << s.bitsPerComponent) - 1);
    const auto* data = reinterpret_cast<const std::uint8_t*>(s.data.constData());
    const auto rowBytes = std::size_t(s.rowBytes());

    if (space.family == Family::indexed) {
        const auto ranges = decodeRanges(dict, 1, maximum);
        const auto [low, high] = ranges[0];
        const auto indexOf = [&, low = low, high = high](unsigned v) {
            const double index = low + v * (high - low) / maximum;
            return std::size_t(std::clamp(std::lround(index), 0L, long(space.hival)));
        };
        const bool grey = std::all_of(space.palette.begin(), space.palette.end(),
                                      [](const auto& c) { return c[0] == c[1] && c[1] == c[2]; });
        if (grey && s.bitsPerComponent == 1) {
            const auto zero = space.palette[indexOf(0)][0], one = space.palette[indexOf(1)][0];
            if ((zero == 0 && one == 255) || (zero == 255 && one == 0)) {
                return monoFromBits(s, zero == 255);
            }
        }
        QImage image(s.width, s.height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        if (image.isNull()) {
            return image;
        }
        for (int y = 0; y < s.height; ++y) {
            const std::uint8_t* row = data + y * rowBytes;
            std::uint8_t* out = image.scanLine(y);
            for (int x = 0; x < s.width; ++x) {
                const auto& colour = space.palette[indexOf(sampleAt(row, x, s.bitsPerComponent))];
                if (grey) {
                    out[x] = colour[0];
                } else {
                    std::copy(colour.begin(), colour.end(), out + 3 * x);
                }
            }
        }
        return image;
    }

    const auto ranges = decodeRanges(dict, n, 1.0);
    const bool plain = std::all_of(ranges.begin(), ranges.end(),
                                   [](const auto& r) { return r.first == 0.0 && r.second == 1.0; });
    if (space.family == Family::grey && s.bitsPerComponent == 1) {
        const auto [low, high] = ranges[0];
        if ((low == 0 && high == 1) || (low == 1 && high == 0)) {
            return monoFromBits(s, low == 1);
        }
    }
    // Each component's samples as unit values, through a table where the
    // samples are few.
    std::vector<std::vector<double>> tables{std::size_t(n)};
    if (s.bitsPerComponent <= 8) {
        for (int c = 0; c < n; ++c) {
            const auto [low, high] = ranges[std::size_t(c)];
            for (unsigned v = 0; v <= unsigned(maximum); ++v) {
                tables[std::size_t(c)].push_back(
                    std::clamp(low + v * (high - low) / maximum, 0.0, 1.0));
            }
        }
    }
    const auto unit = [&](const std::uint8_t* row, std::int64_t index, int c) {
        const unsigned v = sampleAt(row, index, s.bitsPerComponent);
        if (s.bitsPerComponent <= 8) {
            return tables[std::size_t(c)][v];
        }
        const auto [low, high] = ranges[std::size_t(c)];
        return std::clamp(low + v * (high - low) / maximum, 0.0, 1.0);
    };
    const bool grey = space.family == Family::grey;
    QImage image(s.width, s.height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) {
        return image;
    }
    const bool copyRows = plain && s.bitsPerComponent == 8 && space.family != Family::cmyk;
    for (int y = 0; y < s.height; ++y) {
        const std::uint8_t* row = data + y * rowBytes;
        std::uint8_t* out = image.scanLine(y);
        if (copyRows) {
            std::copy(row, row + std::int64_t(s.width) * n, out);
            continue;
        }
        for (std::int64_t x = 0; x < s.width; ++x) {
            switch (space.family) {
            case Family::grey:
                out[x] = toByte(unit(row, x, 0));
                break;
            case Family::rgb:
                for (int c = 0; c < 3; ++c) {
                    out[3 * x + c] = toByte(unit(row, 3 * x + c, c));
                }
                break;
            default: {
                const auto rgb = cmykToRgb(unit(row, 4 * x, 0), unit(row, 4 * x + 1, 1),
                                           unit(row, 4 * x + 2, 2), unit(row, 4 * x + 3, 3));
                std::copy(rgb.begin(), rgb.end(), out + 3 * x);
                break;
            }
            }
        }
    }
    return image;
}

} // namespace

std::optional<PdfImageDecoder::Image> PdfImageDecoder::decode(Handle image, bool jpegAsIs,
                                                              std::int64_t maxBytes) {
    try {
        if (!image.isStream()) {
            return std::nullopt;
        }
        Handle dict = image.getDict();
        if (flag(dict, "/ImageMask") || !dict.getKey("/SMask").isNull() ||
            !dict.getKey("/Mask").isNull()) {
            return std::nullopt;
        }
        const int width = integer(dict, "/Width", 0), height = integer(dict, "/Height", 0);
        if (width <= 0 || height <= 0 || std::int64_t(width) * height * 4 > maxBytes) {
            return std::nullopt;
        }
        const auto filters = filtersOf(dict);
        if (!filters) {
            return std::nullopt;
        }
        std::string codec;
        Handle codecParameters;
        for (std::size_t i = 0; i < filters->size(); ++i) {
            const Filter& f = (*filters)[i];
            if (isGeneralFilter(f.name)) {
                continue;
            }
            if (i + 1 != filters->size()) {
                return std::nullopt; // a codec must come last
            }
            codec = f.name;
            codecParameters = f.parameters;
        }
        Handle spaceObject = dict.getKey("/ColorSpace");
        std::optional<ColourSpace> space;
        if (!spaceObject.isNull()) {
            space = colourSpace(spaceObject);
            if (!space) {
                return std::nullopt;
            }
        }
        const bool jpx = codec == "/JPXDecode";
        if (!space && !jpx) {
            return std::nullopt;
        }
        const int bits = integer(dict, "/BitsPerComponent", jpx ? 8 : 0);
        const int components = space ? componentsOf(space->family) : 0;
        const qsizetype sampleBytes = qsizetype(
            (std::int64_t(width) * std::max(components, 1) * std::max(bits, 1) + 7) / 8 * height);
        const auto data = undoGeneralFilters(
            image, *filters, codec.empty() ? 0 : 1,
            codec.empty() ? sampleBytes + 65536
                          : qsizetype(std::min<std::int64_t>(maxBytes, 1ll << 30)));
        if (!data) {
            return std::nullopt;
        }

        std::optional<PdfSamples> samples;
        if (codec.empty()) {
            if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) {
                return std::nullopt;
            }
            samples = PdfSamples{width, height, components, bits, *data};
            samples->data.truncate(sampleBytes);
        } else if (codec == "/DCTDecode" || codec == "/DCT") {
            const auto layout = PdfImageCodecs::jpegLayout(*data);
            if (!layout || layout->width != width || layout->height != height ||
                layout->components != components) {
                return std::nullopt;
            }
            Handle transformObject = codecParameters.isDictionary()
                                         ? codecParameters.getKey("/ColorTransform")
                                         : Handle::newNull();
            std::optional<int> transform;
            if (transformObject.isInteger()) {
                transform = int(transformObject.getIntValue());
            }
            const bool showsAsIs = layout->precision == 8 && dict.getKey("/Decode").isNull() &&
                                   ((space->family == Family::grey && layout->components == 1) ||
                                    (space->family == Family::rgb && layout->components == 3 &&
                                     (!transform || bool(*transform) == layout->ycc)));
            if (jpegAsIs && showsAsIs) {
                return Image{*data, {}, QSize(width, height)};
            }
            samples = PdfImageCodecs::jpeg(*data, transform, maxBytes);
        } else if (codec == "/CCITTFaxDecode" || codec == "/CCF") {
            PdfImageCodecs::FaxParameters p;
            p.k = integer(codecParameters, "/K", 0);
            p.columns = integer(codecParameters, "/Columns", 1728);
            p.rows = integer(codecParameters, "/Rows", height);
            p.blackIs1 = flag(codecParameters, "/BlackIs1");
            p.encodedByteAlign = flag(codecParameters, "/EncodedByteAlign");
            if (p.columns != width || p.rows != height || components != 1) {
                return std::nullopt;
            }
            samples = PdfImageCodecs::fax(*data, p, maxBytes);
        } else if (codec == "/JBIG2Decode") {
            QByteArray globals;
            if (codecParameters.isDictionary()) {
                Handle g = codecParameters.getKey("/JBIG2Globals");
                if (g.isStream()) {
                    const auto bytes = g.getStreamData(qpdf_dl_generalized);
                    globals = QByteArray(reinterpret_cast<const char*>(bytes->getBuffer()),
                                         qsizetype(bytes->getSize()));
                }
            }
            if (components != 1) {
                return std::nullopt;
            }
            samples = PdfImageCodecs::jbig2(*data, globals, maxBytes);
        } else if (jpx) {
            samples = PdfImageCodecs::jpx(*data, maxBytes);
            if (samples && !space) {
                const Family family = samples->components == 1   ? Family::grey
                                      : samples->components == 3 ? Family::rgb
                                                                 : Family::cmyk;
                space = ColourSpace{family, family, 0, {}};
            }
            // A JPEG 2000 image's Decode array is not applied.
            dict = Handle::newDictionary();
        } else {
            return std::nullopt;
        }
        if (!samples || samples->width != width || samples->height != height ||
            samples->components != componentsOf(space->family) || !samples->complete()) {
            return std::nullopt;
        }
        QImage pixels = pixelsOf(*samples, *space, dict);
        if (pixels.isNull()) {
            return std::nullopt;
        }
        return Image{{}, std::move(pixels), QSize(width, height)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
