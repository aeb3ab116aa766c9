#pragma once

#include "Result.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <optional>

// Writes scanned pages into a folder as files named base-1.png, base-2.png,
// ... skipping names that are taken: an existing file is never replaced.
// Pages are PNG, except colour pages that lossless coding cannot make
// compact (mostly sensor noise), which are kept as base-N.jpg of high
// quality. Each page is written under a hidden temporary name first
// (partialPrefix) and takes its final name only once it is complete, so a
// page file that exists is a whole page even if the writer is killed.
// The files are in the page cache's own form, synced to disk and carrying
// their PageSummary, so the import can take them on as they are (see
// ScannedPage::make).
class PageFileWriter {
public:
    PageFileWriter(QString folder, QString baseName);

    // Writes one page carrying its resolution (dots per inch) when known;
    // the file URL, or an error sentence. A file that could not be written
    // completely is removed.
    Result<QUrl, QString> write(const QImage& page, std::optional<double> dpi);

    // The start of the names of unfinished page files for baseName.
    static QString partialPrefix(const QString& baseName);

private:
    QString folder_;
    QString baseName_;
    int next_ = 1;
};
