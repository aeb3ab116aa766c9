#pragma once

#include "settings/Option.h"

// The colour depth asked of the scanner.
enum class ColourMode { colour, greyscale, blackAndWhite };

template <> struct OptionTable<ColourMode> {
    static constexpr OptionCase<ColourMode> cases[]{
        {ColourMode::colour, u"colour", u"Colour"},
        {ColourMode::greyscale, u"greyscale", u"Greyscale"},
        {ColourMode::blackAndWhite, u"blackAndWhite", u"Black & white"},
    };
};
