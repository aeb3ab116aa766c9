#include "scanning/PageFileWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryFile>
#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double metresPerInch = 0.0254;
// Tries before giving up on finding a free name.
constexpr int maximumNameTries = 100000;

// QImage always records a resolution (72 dpi when none was set); a page
// whose resolution is unknown must not claim one, so its pHYs chunk goes.
QByteArray withoutResolution(const QByteArray& png) {
    constexpr qsizetype signatureSize = 8;
    QByteArray out = png.left(signatureSize);
    qsizetype at = signatureSize;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const qsizetype chunkSize = 12 + qsizetype(length);
        if (at + chunkSize > png.size()) {
            return png;
        }
        if (png.mid(at + 4, 4) != "pHYs") {
            out.append(png.mid(at, chunkSize));
        }
        at += chunkSize;
    }
    return out;
}

// Gives the file at `from` the name `to` unless that name is taken; 0 or
// the errno value (EEXIST when taken).
int renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // File systems without RENAME_NOREPLACE: a hard link fails just the same
    // when the name is taken.
    if (::link(from.constData(), to.constData()) != 0) {
        return errno;
    }
    ::unlink(from.constData());
    return 0;
}

} // namespace

PageFileWriter::PageFileWriter(QString folder, QString baseName)
    : folder_(std::move(folder)), baseName_(std::move(baseName)) {}

Result<QUrl, QString> PageFileWriter::write(const QImage& page, std::optional<double> dpi) {
    QImage image = page;
    if (dpi && *dpi > 0) {
        const int dotsPerMetre = static_cast<int>(std::lround(*dpi / metresPerInch));
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
    }

    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, "png");
    // The file is read once into the page cache and then deleted: fast
    // compression is worth more than a small file.
    writer.setCompression(1);
    if (!writer.write(image)) {
        return QStringLiteral("The scanned page could not be encoded as PNG: ") +
               writer.errorString() + QStringLiteral(".");
    }
    const QByteArray bytes = dpi && *dpi > 0 ? encoded.data() : withoutResolution(encoded.data());

    const QDir folder(folder_);
    QTemporaryFile partial(folder.filePath(partialPrefix(baseName_) + QStringLiteral("XXXXXX")));
    if (!partial.open()) {
        return QStringLiteral("The scanned page could not be saved in ") + folder_ +
               QStringLiteral(": ") + partial.errorString() + QStringLiteral(".");
    }
    const bool written = partial.write(bytes) == bytes.size() && partial.flush();
    if (!written) {
        return QStringLiteral("The scanned page could not be saved in ") + folder_ +
               QStringLiteral(": ") + partial.errorString() + QStringLiteral(".");
    }
    partial.close();
    const QByteArray from = QFile::encodeName(partial.fileName());
    for (int tries = 0; tries < maximumNameTries; ++tries) {
        const QString path = folder.filePath(baseName_ + QStringLiteral("-%1.png").arg(next_++));
        const int error = renameWithoutReplacing(from, QFile::encodeName(path));
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            return QStringLiteral("The scanned page could not be saved as ") + path +
                   QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)) +
                   QStringLiteral(".");
        }
        partial.setAutoRemove(false);
        return QUrl::fromLocalFile(path);
    }
    return QStringLiteral("No free file name was found in ") + folder_ + QStringLiteral(".");
}

QString PageFileWriter::partialPrefix(const QString& baseName) {
    return QStringLiteral(".") + baseName + QStringLiteral("-partial-");
}
