#include "scanning/ScannerFailure.h"

ScannerFailure ScannerFailure::notReady() {
    return {Kind::notReady, QStringLiteral("A scan is already running.")};
}

ScannerFailure ScannerFailure::unsupportedSource(bool feederWanted) {
    const QString what =
        feederWanted ? QStringLiteral("a document feeder") : QStringLiteral("a flatbed");
    return {Kind::unsupportedSource, QStringLiteral("This scanner does not have ") + what +
                                         QStringLiteral(". Choose a different source.")};
}

ScannerFailure ScannerFailure::deviceError(const QString& message) {
    return {Kind::deviceError, message};
}

ScannerFailure ScannerFailure::noDevice() {
    return {Kind::noDevice, {}};
}

ScannerFailure ScannerFailure::nothingScanned() {
    return {Kind::nothingScanned, {}};
}

ScannerFailure ScannerFailure::folderNotCreated(const QString& message) {
    return {Kind::folderNotCreated, message};
}

ScannerFailure ScannerFailure::cancelled() {
    return {Kind::cancelled, QStringLiteral("The scan was cancelled.")};
}

QString ScannerFailure::description() const {
    switch (kind_) {
    case Kind::noDevice:
        return QStringLiteral("The selected scanner could not be found. Check that it is switched "
                              "on and connected, then press Refresh.");
    case Kind::nothingScanned:
        return QStringLiteral("The scanner did not return any pages.");
    case Kind::notReady:
    case Kind::unsupportedSource:
    case Kind::deviceError:
    case Kind::folderNotCreated:
    case Kind::cancelled:
        break;
    }
    return message_;
}
