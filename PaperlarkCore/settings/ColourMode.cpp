#include "settings/ColourMode.h"

#include <array>

template <> std::span<const ColourMode> allCases<ColourMode>() {
    static constexpr std::array<ColourMode, 3> cases{ColourMode::colour, ColourMode::greyscale,
                                                     ColourMode::blackAndWhite};
    return cases;
}

QString rawValue(ColourMode value) {
    switch (value) {
    case ColourMode::colour:
        return QStringLiteral("colour");
    case ColourMode::greyscale:
        return QStringLiteral("greyscale");
    case ColourMode::blackAndWhite:
        return QStringLiteral("blackAndWhite");
    }
    return {};
}

QString displayName(ColourMode value) {
    switch (value) {
    case ColourMode::colour:
        return QStringLiteral("Colour");
    case ColourMode::greyscale:
        return QStringLiteral("Greyscale");
    case ColourMode::blackAndWhite:
        return QStringLiteral("Black & white");
    }
    return {};
}
