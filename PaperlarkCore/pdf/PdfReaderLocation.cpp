#include "pdf/PdfReaderLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace PdfReaderLocation {

QString fileName() {
    return QStringLiteral("paperlark-pdf-reader");
}

QString find() {
    const QString given = qEnvironmentVariable("PAPERLARK_PDF_READER");
    if (!given.isEmpty()) {
        return given;
    }
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(
        programFolder.filePath(QStringLiteral(PAPERLARK_PDF_READER_RELATIVE_DIR "/") + fileName()));
    if (QFileInfo(installed).isFile()) {
        return installed;
    }
    const QString beside = programFolder.filePath(fileName());
    if (QFileInfo(beside).isFile()) {
        return beside;
    }
    return installed;
}

} // namespace PdfReaderLocation
