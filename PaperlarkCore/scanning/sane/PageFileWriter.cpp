#include "scanning/sane/PageFileWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>

#include <cmath>
#include <utility>

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
    for (int tries = 0; tries < maximumNameTries; ++tries) {
        const QString path = folder.filePath(baseName_ + QStringLiteral("-%1.png").arg(next_++));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists()) {
                continue;
            }
            return QStringLiteral("The scanned page could not be saved as ") + path +
                   QStringLiteral(": ") + file.errorString() + QStringLiteral(".");
        }
        const bool written = file.write(bytes) == bytes.size() && file.flush();
        const QString error = file.errorString();
        file.close();
        if (!written || file.error() != QFileDevice::NoError) {
            file.remove();
            return QStringLiteral("The scanned page could not be saved as ") + path +
                   QStringLiteral(": ") + error + QStringLiteral(".");
        }
        return QUrl::fromLocalFile(path);
    }
    return QStringLiteral("No free file name was found in ") + folder_ + QStringLiteral(".");
}
