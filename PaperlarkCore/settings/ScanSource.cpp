#include "settings/ScanSource.h"

#include <array>

template <> std::span<const ScanSource> allCases<ScanSource>() {
    static constexpr std::array<ScanSource, 3> cases{ScanSource::flatbed, ScanSource::feeder,
                                                     ScanSource::feederDuplex};
    return cases;
}

QString rawValue(ScanSource value) {
    switch (value) {
    case ScanSource::flatbed:
        return QStringLiteral("flatbed");
    case ScanSource::feeder:
        return QStringLiteral("feeder");
    case ScanSource::feederDuplex:
        return QStringLiteral("feederDuplex");
    }
    return {};
}

QString displayName(ScanSource value) {
    switch (value) {
    case ScanSource::flatbed:
        return QStringLiteral("Flatbed (glass)");
    case ScanSource::feeder:
        return QStringLiteral("Feeder (ADF)");
    case ScanSource::feederDuplex:
        return QStringLiteral("Feeder - double sided");
    }
    return {};
}

bool usesFeeder(ScanSource value) {
    return value != ScanSource::flatbed;
}
