#pragma once

#include "scanning/ScanConfiguration.h"

#include <QString>
#include <QStringList>

#include <optional>

// How the values of the "source" and "mode" options, which every backend
// names its own way, map onto paper sources and pixel types.
namespace SaneNames {

enum class SourceKind {
    flatbed,
    // A document feeder scanning one side (the front).
    feeder,
    // A document feeder scanning only the back of each sheet.
    feederBack,
    // A document feeder scanning both sides.
    feederDuplex,
    // Not a paper source: film and transparency units.
    film,
    // A name not recognised.
    unknown,
};

SourceKind classifySource(const QString& value);

// The mode that gives the pixel type, if the device offers one; exact
// standard names are preferred to look-alikes.
std::optional<QString> modeFor(const QStringList& modes, ScanConfiguration::PixelType type);

// The "adf-mode" values that choose one-sided and two-sided feeding.
std::optional<QString> simplexAdfMode(const QStringList& modes);
std::optional<QString> duplexAdfMode(const QStringList& modes);

} // namespace SaneNames
