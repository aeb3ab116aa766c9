#pragma once

#include <QByteArray>
#include <QString>

// One device as sane_get_devices lists it.
struct SaneDeviceEntry {
    QByteArray name;
    QString vendor;
    QString model;
    QString type;

    // Vendor and model, or the SANE name when both are blank.
    QString displayName() const {
        const QString shown = (vendor.trimmed() + QLatin1Char(' ') + model.trimmed()).trimmed();
        return shown.isEmpty() ? QString::fromUtf8(name) : shown;
    }

    // Still and video cameras are listed by SANE too, but are not scanners.
    bool isCamera() const { return type.contains(QLatin1String("camera"), Qt::CaseInsensitive); }

    bool operator==(const SaneDeviceEntry&) const = default;
};
