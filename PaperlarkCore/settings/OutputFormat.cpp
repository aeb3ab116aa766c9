#include "settings/OutputFormat.h"

#include <array>

template <> std::span<const OutputFormat> allCases<OutputFormat>() {
    static constexpr std::array<OutputFormat, 3> cases{OutputFormat::pdf, OutputFormat::jpg,
                                                       OutputFormat::png};
    return cases;
}

QString rawValue(OutputFormat value) {
    switch (value) {
    case OutputFormat::pdf:
        return QStringLiteral("pdf");
    case OutputFormat::jpg:
        return QStringLiteral("jpg");
    case OutputFormat::png:
        return QStringLiteral("png");
    }
    return {};
}

QString displayName(OutputFormat value) {
    switch (value) {
    case OutputFormat::pdf:
        return QStringLiteral("PDF");
    case OutputFormat::jpg:
        return QStringLiteral("JPG");
    case OutputFormat::png:
        return QStringLiteral("PNG");
    }
    return {};
}

QString fileExtension(OutputFormat value) {
    return rawValue(value);
}
