#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <optional>
#include <span>

// The option enumerations (OutputFormat, ColourMode, ...) are closed sets
// stored by a string raw value. Each one is declared by a single table, a
// specialisation of OptionTable whose `cases` list one row per case, in the
// order pickers show them:
//
//     enum class Tint { warm, cold };
//     template <> struct OptionTable<Tint> {
//         static constexpr OptionCase<Tint> cases[]{
//             {Tint::warm, u"warm", u"Warm"},
//             {Tint::cold, u"cold", u"Cold"},
//         };
//     };
//
// A row may carry more columns (PaperSize's inches); its first three are
// always the case, the raw value stored in the settings file and the name
// shown to the user. Everything else below is derived from the table.

template <typename E> struct OptionTable;

template <typename E> struct OptionCase {
    E value;
    QStringView rawValue;
    QStringView displayName;
};

template <typename E>
concept Option = requires {
    { OptionTable<E>::cases[0].value } -> std::convertible_to<E>;
    { OptionTable<E>::cases[0].rawValue } -> std::convertible_to<QStringView>;
    { OptionTable<E>::cases[0].displayName } -> std::convertible_to<QStringView>;
};

namespace OptionDetail {
template <Option E>
inline constexpr auto values = [] {
    std::array<E, std::size(OptionTable<E>::cases)> list{};
    std::ranges::transform(OptionTable<E>::cases, list.begin(),
                           [](const auto& row) { return row.value; });
    return list;
}();
} // namespace OptionDetail

// The table's row of `value`; nothing for a value that is no declared case.
template <Option E> constexpr const auto* optionCase(E value) {
    const auto& cases = OptionTable<E>::cases;
    const auto* row =
        std::ranges::find_if(cases, [value](const auto& r) { return r.value == value; });
    return row != std::end(cases) ? row : nullptr;
}

// The cases in picker order.
template <Option E> constexpr std::span<const E> allCases() {
    return OptionDetail::values<E>;
}

// The string stored in the settings file.
template <Option E> QString rawValue(E value) {
    const auto* row = optionCase(value);
    return row != nullptr ? row->rawValue.toString() : QString();
}

// The label shown to the user.
template <Option E> QString displayName(E value) {
    const auto* row = optionCase(value);
    return row != nullptr ? row->displayName.toString() : QString();
}

// The case whose raw value equals `raw` exactly (case-sensitive), or nothing.
template <Option E> std::optional<E> fromRawValue(QStringView raw) {
    for (const auto& row : OptionTable<E>::cases) {
        if (row.rawValue == raw) {
            return row.value;
        }
    }
    return std::nullopt;
}
