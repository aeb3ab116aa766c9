#pragma once

#include "scanning/ScannerUnit.h"

#include <QString>

#include <optional>

// One unit of a SANE device: what it offers, and the option values that
// select it.
struct SaneUnitSetup {
    ScannerUnit unit;
    // "source" value for one-sided scanning; none when the device has no
    // source option (then it has only its flatbed).
    std::optional<QString> source;
    // "source" value that scans both sides, if the device has one.
    std::optional<QString> duplexSource;
    // "adf-mode" values, for backends that choose the sides there.
    std::optional<QString> simplexMode;
    std::optional<QString> duplexMode;

    bool operator==(const SaneUnitSetup&) const = default;
};
