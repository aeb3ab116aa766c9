#include "model/PageImport.h"

#include <QCollator>
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

QList<QUrl> PageImport::expandFolders(const QList<QUrl>& urls) {
    static const QStringList imageNames = {"*.jpg", "*.jpeg", "*.png", "*.tif", "*.tiff", "*.bmp"};
    QCollator natural;
    natural.setNumericMode(true);
    natural.setCaseSensitivity(Qt::CaseInsensitive);
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
        std::sort(names.begin(), names.end(),
                  [&natural](const QString& a, const QString& b) { return natural(a, b); });
        for (const QString& name : std::as_const(names)) {
            files << QUrl::fromLocalFile(folder.filePath(name));
        }
    }
    return files;
}
