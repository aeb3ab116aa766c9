#include "settings/PaperSize.h"

#include <array>

template <> std::span<const PaperSize> allCases<PaperSize>() {
    static constexpr std::array<PaperSize, 4> cases{PaperSize::a4, PaperSize::letter,
                                                    PaperSize::legal, PaperSize::a5};
    return cases;
}

QString rawValue(PaperSize value) {
    switch (value) {
    case PaperSize::a4:
        return QStringLiteral("a4");
    case PaperSize::letter:
        return QStringLiteral("letter");
    case PaperSize::legal:
        return QStringLiteral("legal");
    case PaperSize::a5:
        return QStringLiteral("a5");
    }
    return {};
}

QString displayName(PaperSize value) {
    switch (value) {
    case PaperSize::a4:
        return QStringLiteral("A4");
    case PaperSize::letter:
        return QStringLiteral("Letter");
    case PaperSize::legal:
        return QStringLiteral("Legal");
    case PaperSize::a5:
        return QStringLiteral("A5");
    }
    return {};
}

PaperInches inches(PaperSize value) {
    switch (value) {
    case PaperSize::a4:
        return {8.27, 11.69};
    case PaperSize::letter:
        return {8.5, 11.0};
    case PaperSize::legal:
        return {8.5, 14.0};
    case PaperSize::a5:
        return {5.83, 8.27};
    }
    return {8.27, 11.69};
}
