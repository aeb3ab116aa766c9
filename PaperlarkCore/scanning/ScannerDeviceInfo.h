#pragma once

#include <QHashFunctions>
#include <QString>

// One scanner as the user sees it: a persistent identifier and a display name.
// Equal only when both fields are equal.
struct ScannerDeviceInfo {
    QString id;
    QString name;

    bool operator==(const ScannerDeviceInfo&) const = default;
};

inline size_t qHash(const ScannerDeviceInfo& info, size_t seed = 0) {
    return qHashMulti(seed, info.id, info.name);
}
