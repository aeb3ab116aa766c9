#include "model/ImageFileSource.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

ImageFileSource::ImageFileSource(QUrl file, int fallbackDpi, bool removingSource,
                                 ScanProcessing processing)
    : file_(std::move(file)), fallbackDpi_(fallbackDpi), removingSource_(removingSource),
      processing_(processing) {}

std::optional<ImportFailure> ImageFileSource::makePages(const QUrl& cacheFolder, const Yield& yield,
                                                        const std::atomic<bool>& /*cancelled*/) {
    auto made = ScannedPage::make(file_, cacheFolder, fallbackDpi_, removingSource_);
    if (!made) {
        return ImportFailure::of(file_, made.failure());
    }
    yield({processing_.apply(std::move(made).value()), 1, 1});
    return std::nullopt;
}

namespace {

// Natural order of file names: runs of digits compare by their value
// ("page2" before "page10"), the rest without regard to case.
bool naturallyBefore(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit()) {
                ++i;
            }
            while (j < b.size() && b[j].isDigit()) {
                ++j;
            }
            // Without leading zeros, the longer run is the larger number.
            QStringView runA = QStringView(a).sliced(startA, i - startA);
            QStringView runB = QStringView(b).sliced(startB, j - startB);
            while (runA.size() > 1 && runA.front() == u'0') {
                runA = runA.sliced(1);
            }
            while (runB.size() > 1 && runB.front() == u'0') {
                runB = runB.sliced(1);
            }
            if (runA.size() != runB.size()) {
                return runA.size() < runB.size();
            }
            if (const int order = runA.compare(runB); order != 0) {
                return order < 0;
            }
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y) {
            return x < y;
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b;
}

} // namespace

QList<QUrl> ImageFileSource::expandFolders(const QList<QUrl>& urls) {
    static const QStringList imageNames = {"*.jpg",  "*.jpeg", "*.png", "*.tif",
                                           "*.tiff", "*.bmp",  "*.pdf"};
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            continue;
        }
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        // A folder that cannot be listed stays, for reading it to fail.
        if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
            files << url;
            continue;
        }
        QDir folder(path);
        folder.setNameFilters(imageNames);
        folder.setFilter(QDir::Files | QDir::Hidden);
        QStringList names = folder.entryList();
        std::sort(names.begin(), names.end(), naturallyBefore);
        for (const QString& name : std::as_const(names)) {
            files << QUrl::fromLocalFile(folder.filePath(name));
        }
    }
    return files;
}
