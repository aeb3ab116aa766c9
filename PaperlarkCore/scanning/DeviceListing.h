#pragma once

#include "scanning/ScannerDeviceInfo.h"

#include <QList>
#include <QLocale>

// How the scanner list is shown: in the human order of the user's language,
// each scanner telling itself apart from any other of the same name.
namespace DeviceListing {

// The devices sorted by name, case-insensitively, with the collation of
// `locale`; the C and POSIX locales, which state no collation of their own,
// use the language-neutral root collation, so that "Épson" sorts with
// "epson" rather than after "Zeta". Names that compare equal are each
// followed by the device's identifier in brackets ("Noname frontend-tester
// (test:1)"), and such devices are ordered by identifier.
QList<ScannerDeviceInfo> forDisplay(QList<ScannerDeviceInfo> devices,
                                    const QLocale& locale = QLocale());

} // namespace DeviceListing
