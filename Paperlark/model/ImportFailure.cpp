#include "model/ImportFailure.h"

#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {

// Why a file could not be read, as the file system sees it now; nothing
// when the file is there to be read (its content is to blame).
std::optional<QString> accessProblem(const QUrl& file) {
    const QFileInfo info(file.toLocalFile());
    if (!info.exists()) {
        return QStringLiteral("not found");
    }
    if (!info.isReadable() || (info.isDir() && !info.isExecutable())) {
        return QStringLiteral("no permission");
    }
    return std::nullopt;
}

} // namespace

ImportFailure ImportFailure::of(const QUrl& file, const ScannedPage::Failure& failure) {
    const QString description = failure.description();
    const ImageFile::Failure* image = failure.imageFailure();
    if (image == nullptr || image->kind != ImageFile::Failure::Kind::unreadable) {
        return {file, description, description};
    }
    return {file, description,
            accessProblem(file).value_or(QStringLiteral("not an image or damaged"))};
}

ImportFailure ImportFailure::of(const PdfImportFailure& failure) {
    using Kind = PdfImportFailure::Kind;
    const QString description = failure.description();
    ImportFailure made{failure.file, description, description};
    switch (failure.kind) {
    case Kind::passwordProtected:
        made.reason = QStringLiteral("protected by a password");
        break;
    case Kind::unreadable:
        made.reason = accessProblem(failure.file).value_or(QStringLiteral("not a PDF or damaged"));
        break;
    case Kind::empty:
        made.reason = QStringLiteral("no pages");
        break;
    case Kind::tooManyPages:
        made.reason = QStringLiteral("more than %1 pages").arg(failure.limit);
        break;
    case Kind::cancelled:
        made.reason = QStringLiteral("cancelled");
        made.cancelled = true;
        break;
    case Kind::readerMissing:
    case Kind::page:
        break;
    }
    return made;
}

QString ImportFailure::alertText(const QList<ImportFailure>& failures, int shown) {
    if (failures.size() == 1) {
        return failures.first().description;
    }
    QStringList lines{QString::number(failures.size()) +
                      QStringLiteral(" file(s) could not be added:")};
    for (qsizetype i = 0; i < failures.size() && i < shown; ++i) {
        const ImportFailure& failure = failures[i];
        const QString name = failure.file.fileName().isEmpty() ? failure.file.toLocalFile()
                                                               : failure.file.fileName();
        lines << name + QStringLiteral(": ") + failure.reason;
    }
    if (failures.size() > shown) {
        lines << QStringLiteral("and %1 more.").arg(failures.size() - shown);
    }
    return lines.join(u'\n');
}
