#include "pdf/PdfImportFailure.h"

QString PdfImportFailure::description() const {
    const QString name = file.fileName();
    switch (kind) {
    case Kind::passwordProtected:
        return QStringLiteral("The PDF %1 is protected by a password.").arg(name);
    case Kind::unreadable:
        break;
    case Kind::empty:
        return QStringLiteral("The PDF %1 has no pages.").arg(name);
    case Kind::tooManyPages:
        return QStringLiteral("The PDF %1 has more pages than can be added at once (at most %2).")
            .arg(name)
            .arg(limit);
    case Kind::readerMissing:
        return QStringLiteral("PDF files cannot be read: the helper program %1 is missing or "
                              "cannot be run. Reinstall Paperlark.")
            .arg(readerPath);
    case Kind::cancelled:
        return QStringLiteral("Adding the PDF %1 was cancelled.").arg(name);
    case Kind::page:
        if (pageFailure) {
            return pageFailure->description();
        }
        break;
    }
    return QStringLiteral("Could not read the PDF %1.").arg(name);
}
