#include "scanning/sane/SaneUnits.h"

#include "scanning/sane/SaneNames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace SaneUnits {

namespace {

using SaneNames::SourceKind;

constexpr double millimetresPerInch = 25.4;
// A range with more steps than this is offered as its usual values only.
constexpr double maximumRangeSteps = 10000;

std::optional<std::string_view> resolutionOption(const SaneHandle& handle) {
    for (const std::string_view name :
         {std::string_view("resolution"), std::string_view("x-resolution")}) {
        if (handle.has(name)) {
            return name;
        }
    }
    return std::nullopt;
}

SaneUnitSetup describe(SaneHandle& handle, ScannerUnit::Type type) {
    SaneUnitSetup setup;
    setup.unit.type = type;
    setup.unit.supportedResolutions = resolutions(handle);
    setup.unit.physicalSize = physicalSize(handle);
    return setup;
}

} // namespace

std::vector<SaneUnitSetup> read(SaneHandle& handle) {
    const QStringList sources = handle.stringChoices("source");
    if (sources.isEmpty()) {
        return {describe(handle, ScannerUnit::Type::flatbed)};
    }

    std::optional<QString> flatbed;
    std::optional<QString> feeder;
    std::optional<QString> feederBack;
    std::optional<QString> duplex;
    std::optional<QString> unknown;
    for (const QString& source : sources) {
        switch (SaneNames::classifySource(source)) {
        case SourceKind::flatbed:
            flatbed = flatbed.value_or(source);
            break;
        case SourceKind::feeder:
            feeder = feeder.value_or(source);
            break;
        case SourceKind::feederBack:
            feederBack = feederBack.value_or(source);
            break;
        case SourceKind::feederDuplex:
            duplex = duplex.value_or(source);
            break;
        case SourceKind::unknown:
            unknown = unknown.value_or(source);
            break;
        case SourceKind::film:
            break;
        }
    }
    if (!feeder) {
        feeder = feederBack;
    }
    // A device whose only source has a name of its own is taken for a flatbed.
    if (!flatbed && !feeder && !duplex) {
        flatbed = unknown;
    }

    std::vector<SaneUnitSetup> units;
    if (flatbed) {
        SaneUnitSetup probe;
        probe.source = flatbed;
        if (!select(handle, probe, false)) {
            SaneUnitSetup unit = describe(handle, ScannerUnit::Type::flatbed);
            unit.source = flatbed;
            units.push_back(unit);
        }
    }
    if (feeder || duplex) {
        SaneUnitSetup probe;
        probe.unit.type = ScannerUnit::Type::documentFeeder;
        probe.source = feeder ? feeder : duplex;
        if (!select(handle, probe, false)) {
            SaneUnitSetup unit = describe(handle, ScannerUnit::Type::documentFeeder);
            unit.source = probe.source;
            unit.duplexSource = duplex;
            const QStringList adfModes = handle.stringChoices("adf-mode");
            unit.simplexMode = SaneNames::simplexAdfMode(adfModes);
            unit.duplexMode = SaneNames::duplexAdfMode(adfModes);
            unit.unit.supportsDuplexScanning = duplex.has_value() || unit.duplexMode.has_value();
            units.push_back(unit);
        }
    }
    return units;
}

std::optional<QString> select(SaneHandle& handle, const SaneUnitSetup& unit, bool duplex) {
    const std::optional<QString> source =
        duplex && unit.duplexSource ? unit.duplexSource : unit.source;
    if (source && handle.stringValue("source") != source && !handle.setString("source", *source)) {
        return QStringLiteral("The scanner did not accept the source \"") + *source +
               QStringLiteral("\".");
    }
    if (unit.unit.type == ScannerUnit::Type::documentFeeder) {
        // Backends with an adf-mode option choose the sides there.
        const bool sidesFromSource = duplex && unit.duplexSource;
        const std::optional<QString> mode =
            sidesFromSource ? std::nullopt : (duplex ? unit.duplexMode : unit.simplexMode);
        if (mode && handle.settable("adf-mode") && !handle.setString("adf-mode", *mode)) {
            return QStringLiteral("The scanner did not accept the feeder mode \"") + *mode +
                   QStringLiteral("\".");
        }
    }
    return std::nullopt;
}

QList<int> resolutions(const SaneHandle& handle) {
    QList<int> values;
    const auto name = resolutionOption(handle);
    if (!name) {
        return values;
    }
    const auto add = [&values](double value) {
        const int dpi = static_cast<int>(std::lround(value));
        if (dpi > 0) {
            values.append(dpi);
        }
    };
    if (const auto range = handle.numberRange(*name)) {
        if (!range->values.isEmpty()) {
            for (const double value : range->values) {
                add(value);
            }
        } else {
            const double step = range->quant > 0 ? range->quant : 1.0;
            if ((range->max - range->min) / step <= maximumRangeSteps) {
                for (double value = range->min; value <= range->max + step / 1000; value += step) {
                    add(value);
                }
            } else {
                static constexpr std::array usual{50,  75,   100,  150,  200,  240,  300,  400, 600,
                                                  800, 1200, 1600, 2400, 3200, 4800, 6400, 9600};
                add(range->min);
                add(range->max);
                for (const int value : usual) {
                    if (value >= range->min && value <= range->max) {
                        values.append(value);
                    }
                }
            }
        }
    } else if (const auto current = handle.numberValue(*name)) {
        add(*current);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

QSizeF physicalSize(const SaneHandle& handle) {
    const auto extent = [&handle](std::string_view topLeft,
                                  std::string_view bottomRight) -> std::optional<double> {
        const auto far = handle.numberRange(bottomRight);
        if (!far) {
            return std::nullopt;
        }
        const double maximum = far->values.isEmpty() ? far->max : far->values.last();
        double minimum = 0;
        if (const auto near = handle.numberRange(topLeft)) {
            minimum = near->values.isEmpty() ? near->min : near->values.first();
        }
        return maximum - minimum;
    };
    const auto width = extent("tl-x", "br-x");
    const auto height = extent("tl-y", "br-y");
    const auto unit = handle.unit("br-x");
    if (!width || !height || !unit) {
        return {};
    }
    double perInch = 0;
    if (*unit == SANE_UNIT_MM) {
        perInch = millimetresPerInch;
    } else if (*unit == SANE_UNIT_PIXEL) {
        const auto name = resolutionOption(handle);
        perInch = name ? handle.numberValue(*name).value_or(0) : 0;
    }
    if (perInch <= 0 || *width <= 0 || *height <= 0) {
        return {};
    }
    return {*width / perInch, *height / perInch};
}

} // namespace SaneUnits
