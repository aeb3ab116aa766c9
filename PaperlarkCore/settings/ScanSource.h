#pragma once

#include "settings/Option.h"

// Where the paper is taken from.
enum class ScanSource { flatbed, feeder, feederDuplex };

struct ScanSourceCase {
    ScanSource value;
    QStringView rawValue;
    QStringView displayName;
    bool usesFeeder;
};

template <> struct OptionTable<ScanSource> {
    static constexpr ScanSourceCase cases[]{
        {ScanSource::flatbed, u"flatbed", u"Flatbed (glass)", false},
        {ScanSource::feeder, u"feeder", u"Feeder (ADF)", true},
        {ScanSource::feederDuplex, u"feederDuplex", u"Feeder - double sided", true},
    };
};

// True for both feeder sources.
constexpr bool usesFeeder(ScanSource value) {
    const ScanSourceCase* row = optionCase(value);
    return row != nullptr && row->usesFeeder;
}
