#pragma once

#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SaneUnitSetup.h"

#include <QString>

#include <optional>
#include <vector>

// Finding a SANE device's units and switching between them.
namespace SaneUnits {

// Works out the device's flatbed and feeder from its source options, and
// reads each one's resolutions and size (selecting each in turn).
std::vector<SaneUnitSetup> read(SaneHandle& handle);

// Selects the unit, one-sided or two-sided; an error sentence on failure.
std::optional<QString> select(SaneHandle& handle, const SaneUnitSetup& unit, bool duplex);

// The resolutions the resolution option offers now, ascending.
QList<int> resolutions(const SaneHandle& handle);

// The largest scan area the geometry options allow now, in inches; empty
// when unknown.
QSizeF physicalSize(const SaneHandle& handle);

} // namespace SaneUnits
