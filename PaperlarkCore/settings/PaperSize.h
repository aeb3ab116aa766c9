#pragma once

#include "settings/Option.h"

// The scan area.
enum class PaperSize { a4, letter, legal, a5 };

// Portrait width and height in inches, to two decimals.
struct PaperInches {
    double width;
    double height;
};

struct PaperSizeCase {
    PaperSize value;
    QStringView rawValue;
    QStringView displayName;
    PaperInches inches;
};

template <> struct OptionTable<PaperSize> {
    static constexpr PaperSizeCase cases[]{
        {PaperSize::a4, u"a4", u"A4", {8.27, 11.69}},
        {PaperSize::letter, u"letter", u"Letter", {8.5, 11.0}},
        {PaperSize::legal, u"legal", u"Legal", {8.5, 14.0}},
        {PaperSize::a5, u"a5", u"A5", {5.83, 8.27}},
    };
};

// A4's for a value that is no declared case.
constexpr PaperInches inches(PaperSize value) {
    const PaperSizeCase* row = optionCase(value);
    return row != nullptr ? row->inches : OptionTable<PaperSize>::cases[0].inches;
}
