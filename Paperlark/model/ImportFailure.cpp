#include "model/ImportFailure.h"

#include <QFileInfo>
#include <QStringList>

ImportFailure ImportFailure::of(const QUrl& file, const ScannedPage::Failure& failure) {
    const QString description = failure.description();
    const ImageFile::Failure* image = failure.imageFailure();
    if (image == nullptr || image->kind != ImageFile::Failure::Kind::unreadable) {
        return {file, description, description};
    }
    const QFileInfo info(file.toLocalFile());
    if (!info.exists()) {
        return {file, description, QStringLiteral("not found")};
    }
    if (!info.isReadable() || (info.isDir() && !info.isExecutable())) {
        return {file, description, QStringLiteral("no permission")};
    }
    return {file, description, QStringLiteral("not an image or damaged")};
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
