#pragma once

#include <QString>

#include <optional>
#include <span>

// The option enumerations (OutputFormat, ColourMode, ...) are closed sets stored
// by a string raw value. Each one provides a specialisation of allCases<E>() and
// overloads of rawValue(E) and displayName(E); the generic parts live here.

template <typename E> std::span<const E> allCases();

// The case whose raw value equals `raw` exactly (case-sensitive), or nothing.
template <typename E> std::optional<E> fromRawValue(const QString& raw) {
    for (const E value : allCases<E>()) {
        if (rawValue(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}
