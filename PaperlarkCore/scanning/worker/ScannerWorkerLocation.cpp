#include "scanning/worker/ScannerWorkerLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ScannerWorkerLocation {

QString fileName() {
    return QStringLiteral("paperlark-scanner");
}

QString find() {
    const QString given = qEnvironmentVariable("PAPERLARK_SCANNER");
    if (!given.isEmpty()) {
        return given;
    }
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(
        programFolder.filePath(QStringLiteral(PAPERLARK_SCANNER_RELATIVE_DIR "/") + fileName()));
    if (QFileInfo(installed).isFile()) {
        return installed;
    }
    const QString beside = programFolder.filePath(fileName());
    if (QFileInfo(beside).isFile()) {
        return beside;
    }
    return installed;
}

} // namespace ScannerWorkerLocation
