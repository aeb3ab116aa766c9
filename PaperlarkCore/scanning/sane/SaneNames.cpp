#include "scanning/sane/SaneNames.h"

#include <initializer_list>

namespace SaneNames {

namespace {

bool containsAny(const QString& text, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

// Dithered or halftoned modes are never what a page scan wants.
bool isScreened(const QString& mode) {
    return containsAny(mode, {"halftone", "dither"});
}

bool isLineart(const QString& mode) {
    return containsAny(mode, {"lineart", "line art", "binary", "black & white", "black and white",
                              "black/white", "monochrome", "1-bit", "1 bit"}) ||
           mode.compare(QLatin1String("bw"), Qt::CaseInsensitive) == 0 ||
           mode.compare(QLatin1String("mono"), Qt::CaseInsensitive) == 0;
}

bool isGrey(const QString& mode) {
    return containsAny(mode, {"gray", "grey"}) && !isLineart(mode) && !isScreened(mode);
}

bool isColour(const QString& mode) {
    return containsAny(mode, {"color", "colour"}) && !isLineart(mode) && !isScreened(mode);
}

std::optional<QString> pick(const QStringList& modes, const char* standard,
                            bool (*matches)(const QString&)) {
    for (const QString& mode : modes) {
        if (mode.compare(QLatin1String(standard), Qt::CaseInsensitive) == 0) {
            return mode;
        }
    }
    for (const QString& mode : modes) {
        if (matches(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

} // namespace

SourceKind classifySource(const QString& value) {
    if (containsAny(value,
                    {"transparen", "film", "negative", "positive", "slide", "tpu", "tma", "xpa"})) {
        return SourceKind::film;
    }
    if (containsAny(value, {"duplex", "both sides", "two-sided", "2-sided"})) {
        return SourceKind::feederDuplex;
    }
    if (containsAny(value, {"flatbed", "platen", "glass", "document table"}) ||
        value.compare(QLatin1String("normal"), Qt::CaseInsensitive) == 0) {
        return SourceKind::flatbed;
    }
    if (containsAny(value, {"adf", "feeder", "document", "sheet", "simplex"})) {
        return containsAny(value, {"back", "rear"}) ? SourceKind::feederBack : SourceKind::feeder;
    }
    return SourceKind::unknown;
}

std::optional<QString> modeFor(const QStringList& modes, ScanConfiguration::PixelType type) {
    switch (type) {
    case ScanConfiguration::PixelType::rgb:
        return pick(modes, "Color", isColour);
    case ScanConfiguration::PixelType::grey:
        return pick(modes, "Gray", isGrey);
    case ScanConfiguration::PixelType::blackAndWhite:
        return pick(modes, "Lineart", [](const QString& mode) {
            return isLineart(mode) && !isScreened(mode) && !containsAny(mode, {"color", "colour"});
        });
    }
    return std::nullopt;
}

std::optional<QString> simplexAdfMode(const QStringList& modes) {
    for (const QString& mode : modes) {
        if (containsAny(mode, {"simplex", "single", "one side"})) {
            return mode;
        }
    }
    return std::nullopt;
}

std::optional<QString> duplexAdfMode(const QStringList& modes) {
    for (const QString& mode : modes) {
        if (containsAny(mode, {"duplex", "both", "double"})) {
            return mode;
        }
    }
    return std::nullopt;
}

} // namespace SaneNames
