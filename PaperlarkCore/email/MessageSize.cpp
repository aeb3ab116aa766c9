#include "email/MessageSize.h"

#include <algorithm>

QString MessageSize::text(qint64 bytes) {
    constexpr qint64 tenth = 100'000;
    qint64 tenths = (std::max<qint64>(bytes, 0) + tenth / 2) / tenth;
    if (tenths == 0 && bytes > 0) {
        tenths = 1;
    }
    return QStringLiteral("%1.%2 MB").arg(tenths / 10).arg(tenths % 10);
}
