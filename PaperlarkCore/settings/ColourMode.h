#pragma once

#include "settings/Option.h"

#include <QString>

enum class ColourMode { colour, greyscale, blackAndWhite };

template <> std::span<const ColourMode> allCases<ColourMode>();
QString rawValue(ColourMode value);
QString displayName(ColourMode value);
