#pragma once

#include "settings/Option.h"

#include <QString>

enum class ScanSource { flatbed, feeder, feederDuplex };

template <> std::span<const ScanSource> allCases<ScanSource>();
QString rawValue(ScanSource value);
QString displayName(ScanSource value);

// True for both feeder sources.
bool usesFeeder(ScanSource value);
