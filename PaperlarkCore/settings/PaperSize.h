#pragma once

#include "settings/Option.h"

#include <QString>

enum class PaperSize { a4, letter, legal, a5 };

template <> std::span<const PaperSize> allCases<PaperSize>();
QString rawValue(PaperSize value);
QString displayName(PaperSize value);

// Portrait width and height in inches, to two decimals.
struct PaperInches {
    double width;
    double height;
};

PaperInches inches(PaperSize value);
