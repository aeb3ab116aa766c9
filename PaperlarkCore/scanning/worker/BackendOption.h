#pragma once

#include <QByteArray>

// A backend option set by name during a scan, after the scan settings: the
// value as text ("yes"/"no", a number or a string). From sheet 1 it applies
// to the whole scan; from a later sheet, it is set just before that sheet of
// a feeder run is started.
struct BackendOption {
    QByteArray name;
    QByteArray value;
    int fromSheet = 1;

    bool operator==(const BackendOption&) const = default;
};
