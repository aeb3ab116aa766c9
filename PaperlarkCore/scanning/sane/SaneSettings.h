#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <utility>

// How the SANE layer behaves; the defaults suit real scanners.
struct SaneSettings {
    // How often local scanners are looked for while browsing.
    std::chrono::milliseconds pollInterval{3000};
    // How long one SANE call may block during a scan before the scanner is
    // taken to have stopped answering. Lamp warm-up and calibration on
    // older flatbeds take up to about a minute.
    std::chrono::milliseconds stallTimeout{120000};
    // Backend options set, in this order, after the scan settings: name and
    // value as text ("yes"/"no", a number or a string).
    QList<std::pair<QByteArray, QByteArray>> extraOptions;
};
