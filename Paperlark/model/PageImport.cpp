#include "model/PageImport.h"

#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

PageImport::PageImport(QUrl cacheFolder, QObject* parent)
    : QObject(parent), cacheFolder_(std::move(cacheFolder)) {}

PageImport::~PageImport() {
    cancel();
    if (working_) {
        working_->waitForFinished();
        if (const Outcome outcome = working_->result(); outcome.page) {
            outcome.page->discard();
        }
    }
}

void PageImport::add(const QList<QUrl>& files, int fallbackDpi) {
    for (const QUrl& file : files) {
        queue_.append({file, fallbackDpi});
    }
    total_ += int(files.size());
    startNext();
}

void PageImport::cancel() {
    queue_.clear();
    discardCurrent_ = bool(working_);
    done_ = total_ = 0;
}

void PageImport::wait() {
    if (working_) {
        working_->waitForFinished();
    }
}

void PageImport::startNext() {
    if (working_) {
        return;
    }
    if (queue_.isEmpty()) {
        if (total_ > 0) {
            done_ = total_ = 0;
            Q_EMIT finished();
        }
        return;
    }
    const Job job = queue_.takeFirst();
    auto* watcher = new QFutureWatcher<Outcome>(this);
    working_ = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, &PageImport::jobFinished);
    watcher->setFuture(QtConcurrent::run([job, cacheFolder = cacheFolder_]() -> Outcome {
        auto made = ScannedPage::make(job.file, cacheFolder, job.fallbackDpi, false);
        if (!made) {
            return {nullptr, made.failure().description()};
        }
        return {std::move(made).value(), QString()};
    }));
}

void PageImport::jobFinished() {
    QFutureWatcher<Outcome>* watcher = working_;
    if (watcher == nullptr) {
        return;
    }
    working_ = nullptr;
    const Outcome outcome = watcher->result();
    watcher->deleteLater();
    if (discardCurrent_) {
        discardCurrent_ = false;
        if (outcome.page) {
            outcome.page->discard();
        }
    } else {
        ++done_;
        Q_EMIT fileDone(outcome);
    }
    startNext();
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

QList<QUrl> PageImport::expandFolders(const QList<QUrl>& urls) {
    static const QStringList imageNames = {"*.jpg", "*.jpeg", "*.png", "*.tif", "*.tiff", "*.bmp"};
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            continue;
        }
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isDir()) {
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
