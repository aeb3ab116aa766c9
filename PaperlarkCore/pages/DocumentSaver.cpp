#include "pages/DocumentSaver.h"

QString DocumentSaver::Failure::description() const {
    switch (kind) {
    case Kind::pdfFailed:
        return QStringLiteral("Could not write the PDF at %1.").arg(url.toLocalFile());
    case Kind::nothingToSave:
        break;
    case Kind::image:
        return imageFailure.description();
    case Kind::folder:
        return folderFailure.description();
    }
    return QStringLiteral("There are no scanned pages to save.");
}

QString DocumentSaver::sanitise(const QString& name) {
    return name;
}

QString DocumentSaver::buildBaseName(const QString& pattern, const QDateTime&) {
    return pattern;
}

QUrl DocumentSaver::uniqueURL(const QUrl& folder, const QString&, const QString&) {
    return folder;
}

Result<QList<QUrl>, DocumentSaver::Failure> DocumentSaver::save(const Pages&, const QUrl&,
                                                                const QString&, OutputFormat, int) {
    return Failure::nothingToSave();
}

Result<void, DocumentSaver::Failure> DocumentSaver::savePDF(const Pages&, const QUrl&, int) {
    return Failure::nothingToSave();
}

QRectF DocumentSaver::pageRect(const ScannedPage&) {
    return {};
}
