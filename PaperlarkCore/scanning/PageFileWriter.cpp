#include "scanning/PageFileWriter.h"

#include "pages/ImageFile.h"
#include "pages/ImageHeader.h"
#include "pages/JpegEncoder.h"
#include "pages/PageRule.h"
#include "pages/PageSummary.h"
#include "pages/PngEncoder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Tries before giving up on finding a free name.
constexpr int maximumNameTries = 100000;
// The page cache's own compression (see ScannedPage): the file can become a
// cache file as it is.
constexpr int compression = 1;

// A colour page whose lossless file takes more than this many bytes per pixel
// (30 % of its raw size) is mostly sensor noise, or a photograph, and no
// lossless coder brings it much lower: noise of two or three levels alone
// takes well over a byte per pixel. Such a page is kept as a JPEG of high
// quality with full colour resolution instead, at a third to a quarter of
// the size; its difference from the scan is of the size of that noise. Pages
// that compress well (text, drawings, clean scans) stay exact. Only the
// image data counts: the page summary the file carries is the same size for
// every page, and would tip small pages over the budget.
constexpr double losslessBytesPerPixel = 0.9;
constexpr int noisyPageQuality = 95;
// libjpeg's limit on either side of an image.
constexpr int jpegMaximumSide = 65500;

bool isColour(const QImage& image) {
    return (image.format() == QImage::Format_RGB888 || image.format() == QImage::Format_RGB32) &&
           image.width() <= jpegMaximumSide && image.height() <= jpegMaximumSide;
}

bool overBudget(double bytes, const QImage& image) {
    return bytes > double(image.width()) * image.height() * losslessBytesPerPixel;
}

// Whether the lossless file of a colour page would be over the budget,
// judged from bands of rows spread over the page, so that a noisy page is
// not compressed twice; none for pages too short to sample.
std::optional<bool> predictedOverBudget(const QImage& image) {
    constexpr int bands = 16;
    constexpr int rowsPerBand = 8;
    if (image.height() < 4 * bands * rowsPerBand) {
        return std::nullopt;
    }
    QImage sample(image.width(), bands * rowsPerBand, image.format());
    if (sample.isNull()) {
        return std::nullopt;
    }
    const int step = image.height() / bands;
    const auto rowBytes = std::size_t(std::min(sample.bytesPerLine(), image.bytesPerLine()));
    for (int band = 0; band < bands; ++band) {
        for (int row = 0; row < rowsPerBand; ++row) {
            std::memcpy(sample.scanLine(band * rowsPerBand + row),
                        image.constScanLine(band * step + step / 2 + row), rowBytes);
        }
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!PngEncoder::write(sample, buffer, 0, compression)) {
        return std::nullopt;
    }
    return overBudget(double(buffer.size()), sample);
}

QImage pageForm(const QImage& page) {
    if (page.format() == QImage::Format_RGB888) {
        return page;
    }
    const QImage image = ImageFile::normalised(page);
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_Grayscale8) {
        return image;
    }
    return ImageFile::flattened(image).convertToFormat(QImage::Format_RGB888);
}

bool syncDescriptor(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
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
    // Pages are black and white, grey or RGB888 (as scanners deliver colour),
    // the forms a page file can take (see PageSummary::verified).
    const QImage image = pageForm(page);
    if (image.isNull()) {
        return QStringLiteral("The scanned page could not be encoded as PNG: out of memory.");
    }
    if (!PageRule::fitsSize(image.size())) {
        return QStringLiteral("The scanned page is too large: a page may have at most %1 pixels "
                              "on a side.")
            .arg(PageRule::maxSide);
    }
    // A resolution no page may carry is as good as none: the page then takes
    // the one the scan asked for. The summary is measured at the resolution
    // the file states (dots per metre), which is what a reader measures at.
    const double resolution = dpi && *dpi > 1 && PageRule::fitsResolution(*dpi)
                                  ? ImageHeader::dpiFromDotsPer(std::round(*dpi / 0.0254), 1.0)
                                  : 0;
    const QDir folder(folder_);
    QTemporaryFile partial(folder.filePath(partialPrefix(baseName_) + QStringLiteral("XXXXXX")));
    if (!partial.open()) {
        return QStringLiteral("The scanned page could not be saved in ") + folder_ +
               QStringLiteral(": ") + partial.errorString() + QStringLiteral(".");
    }
    const bool colour = isColour(image);
    bool jpeg = colour && predictedOverBudget(image).value_or(false);
    bool encoded = true;
    if (!jpeg) {
        // The page list's thumbnail and blank measure travel with the file,
        // so that the page can be taken on without decoding it; they are
        // worked out while the image data is compressed.
        std::future<std::optional<PngEncoder::Chunk>> summary =
            std::async(std::launch::async,
                       [image, resolution] { return PageSummary::of(image, resolution).chunk(); });
        qint64 summaryBytes = 0;
        const auto extra = [&summary, &summaryBytes] {
            QList<PngEncoder::Chunk> chunks;
            if (auto chunk = summary.get()) {
                summaryBytes = 12 + chunk->data.size(); // with length, type and CRC
                chunks.append(std::move(*chunk));
            }
            return chunks;
        };
        encoded = PngEncoder::write(image, partial, resolution, compression, extra);
        // A page the sample misjudged, or too short to sample.
        jpeg = encoded && colour && partial.flush() &&
               overBudget(double(partial.size() - summaryBytes), image);
        encoded = encoded && (!jpeg || (partial.resize(0) && partial.seek(0)));
    }
    if (jpeg && encoded) {
        encoded = JpegEncoder::write(image, partial, resolution, noisyPageQuality,
                                     JpegEncoder::Chroma::full);
    }
    if (!encoded) {
        if (partial.error() == QFileDevice::NoError) {
            return QStringLiteral("The scanned page could not be encoded as ") +
                   (jpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG")) +
                   QStringLiteral(": out of memory.");
        }
        return QStringLiteral("The scanned page could not be saved in ") + folder_ +
               QStringLiteral(": ") + partial.errorString() + QStringLiteral(".");
    }
    // On disk before it takes its name: a page file that exists is whole.
    if (!partial.flush() || !syncDescriptor(int(partial.handle()))) {
        return QStringLiteral("The scanned page could not be saved in ") + folder_ +
               QStringLiteral(": ") + partial.errorString() + QStringLiteral(".");
    }
    partial.close();
    const QByteArray from = QFile::encodeName(partial.fileName());
    for (int tries = 0; tries < maximumNameTries; ++tries) {
        const QString path =
            folder.filePath(baseName_ + QStringLiteral("-%1.").arg(next_++) +
                            (jpeg ? QStringLiteral("jpg") : QStringLiteral("png")));
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
