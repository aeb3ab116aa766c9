#include "scanning/sane/SaneStatusText.h"

QString saneStatusText(SANE_Status status) {
    switch (status) {
    case SANE_STATUS_GOOD:
        return QStringLiteral("The scanner reported no error.");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("The scanner does not support this operation.");
    case SANE_STATUS_CANCELLED:
        return QStringLiteral("The scan was cancelled.");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("The scanner is busy. Wait until it is free, then try again.");
    case SANE_STATUS_INVAL:
        return QStringLiteral("The scanner rejected the request.");
    case SANE_STATUS_EOF:
        return QStringLiteral("The scanner ended the transfer unexpectedly.");
    case SANE_STATUS_JAMMED:
        return QStringLiteral("The paper is jammed in the document feeder.");
    case SANE_STATUS_NO_DOCS:
        return QStringLiteral("The document feeder is empty.");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("The scanner cover is open.");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral("The scanner reported an input/output error.");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("The scanner ran out of memory.");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("Access to the scanner was denied.");
    }
    return QString::fromUtf8(sane_strstatus(status)) + QStringLiteral(".");
}

bool saneMayBeDisconnected(SANE_Status status) {
    const auto code = static_cast<long long>(status);
    return status == SANE_STATUS_IO_ERROR || status == SANE_STATUS_INVAL || code < 0 ||
           code > static_cast<long long>(SANE_STATUS_ACCESS_DENIED);
}

QString saneUnreachableText() {
    return QStringLiteral("The scanner cannot be reached. Check that it is switched on and "
                          "connected, then try again.");
}
