#include "model/PageImporter.h"

#include "model/ImageFileSource.h"

#include <algorithm>
#include <utility>

PageImporter::Arrival::~Arrival() {
    if (made_.page) {
        made_.page->discard(); // never reached the list
    }
}

PageImporter::PageImporter(PageDocument& document, std::function<QUrl()> cacheFolder,
                           QObject* parent)
    : QObject(parent), document_(document), cacheFolder_(std::move(cacheFolder)) {
    // One source at a time keeps the pages in order.
    pool_.setMaxThreadCount(1);
}

PageImporter::~PageImporter() {
    queue_.clear();
    current_.cancel();
    wait();
}

void PageImporter::addFiles(const QList<QUrl>& urls, int fallbackDpi) {
    const QList<QUrl> files = ImageFileSource::expandFolders(urls);
    if (files.isEmpty()) {
        return;
    }
    if (!fileBatch_) {
        fileBatch_ = openBatch();
        batches_[*fileBatch_].files = true;
    }
    for (const QUrl& file : files) {
        add(*fileBatch_, std::make_unique<ImageFileSource>(file, fallbackDpi, false));
    }
    filesTotal_ += int(files.size());
    batches_[*fileBatch_].closed = true;
    showFileProgress();
    startNext();
}

int PageImporter::openBatch() {
    const int id = nextBatch_++;
    batches_[id] = Batch();
    return id;
}

void PageImporter::add(int batch, std::unique_ptr<PageSource> source) {
    const auto found = batches_.find(batch);
    if (found == batches_.end() || !source) {
        return; // cancelled meanwhile
    }
    ++found->second.outstanding;
    queue_.push_back({batch, std::move(source)});
    startNext();
}

void PageImporter::close(int batch) {
    const auto found = batches_.find(batch);
    if (found == batches_.end()) {
        return;
    }
    found->second.closed = true;
    finishIfDone(batch);
}

void PageImporter::addReady(const Pages& pages) {
    if (document_.add(pages, true)) {
        Q_EMIT statusReported(document_.readyText());
    }
}

void PageImporter::cancelFiles() {
    if (!fileBatch_) {
        return;
    }
    const int files = *std::exchange(fileBatch_, std::nullopt);
    std::erase_if(queue_, [files](const Waiting& waiting) { return waiting.batch == files; });
    batches_.erase(files);
    filesDone_ = filesTotal_ = 0;
    if (currentBatch_ == files) {
        current_.cancel();
        startNext();
    }
}

void PageImporter::startNext() {
    if (current_.isRunning() || queue_.empty()) {
        return;
    }
    Waiting next = std::move(queue_.front());
    queue_.pop_front();
    currentBatch_ = next.batch;
    current_ = SourceJob::run(
        this,
        [source = std::move(next.source),
         folder = cacheFolder_()](const SourceJob::Context& context) {
            return source->makePages(
                folder, [&context](PageSource::Made made) { context.report(Arrival(made)); },
                context.cancelFlag());
        },
        [this](std::optional<ImportFailure> failure) { sourceDone(failure); },
        [this](Arrival arrival) { arrived(std::move(arrival)); }, &pool_);
}

void PageImporter::arrived(Arrival arrival) {
    const auto batch = batches_.find(currentBatch_);
    if (batch == batches_.end()) {
        return; // the arrival discards its page
    }
    const std::shared_ptr<ScannedPage> page = arrival.take();
    document_.add({page}, !batch->second.files);
    ++batch->second.report.added;
    batch->second.last = page;
}

void PageImporter::sourceDone(const std::optional<ImportFailure>& failure) {
    const int id = currentBatch_;
    if (const auto batch = batches_.find(id); batch != batches_.end()) {
        if (failure) {
            batch->second.report.failures.append(*failure);
        }
        --batch->second.outstanding;
        if (batch->second.files) {
            ++filesDone_;
            showFileProgress();
        }
        finishIfDone(id);
    }
    startNext();
}

void PageImporter::showFileProgress() {
    if (filesDone_ < filesTotal_) {
        Q_EMIT statusReported(
            QStringLiteral("Adding image file %1 of %2...").arg(filesDone_ + 1).arg(filesTotal_));
    }
}

void PageImporter::finishIfDone(int id) {
    const auto found = batches_.find(id);
    if (found == batches_.end() || !found->second.closed || found->second.outstanding > 0) {
        return;
    }
    const Batch batch = std::move(found->second);
    batches_.erase(found);
    if (!batch.files) {
        Q_EMIT batchFinished(id, batch.report);
        return;
    }
    fileBatch_.reset();
    filesDone_ = filesTotal_ = 0;
    if (batch.last && document_.pages().contains(batch.last)) {
        document_.setSelectedID(batch.last->id());
    }
    Q_EMIT statusReported(document_.readyText());
    if (!batch.report.failures.isEmpty()) {
        Q_EMIT failed(ImportFailure::alertText(batch.report.failures));
    }
}
