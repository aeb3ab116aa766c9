#include "settings/Resolutions.h"

QString resolutionLabel(std::int64_t dpi) {
    switch (dpi) {
    case 100:
        return QStringLiteral("100 dpi (draft)");
    case 150:
        return QStringLiteral("150 dpi (screen)");
    case 300:
        return QStringLiteral("300 dpi (documents)");
    case 600:
        return QStringLiteral("600 dpi (photos)");
    default:
        return QString::number(dpi) + QStringLiteral(" dpi");
    }
}
