#pragma once

#include "model/ImportFailure.h"
#include "model/Job.h"
#include "model/PageDocument.h"
#include "model/PageSource.h"

#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QUrl>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The one way pages enter the document: image files chosen, dropped or
// named on the command line (folders giving their images), a scan's files,
// and restored sessions' pages.
//
// Sources are made into pages one at a time, in the order they were given,
// on a worker thread of the importer's own; each page enters the list on
// the GUI thread as soon as it exists. Sources are grouped in batches, one
// per way in, and each batch is reported once all its sources are done:
//  - files (addFiles()): one batch for all files given while it runs.
//    Status "Adding image file N of M..." while it runs; at its end the last
//    page added is selected, status "N page(s) ready." and every file that
//    gave no page in one alert (failed(); one file's own sentence when only
//    one failed).
//  - other batches (openBatch(), a scan's): each page is selected as it
//    enters; nothing is reported but batchFinished().
// Used on the GUI thread only.
class PageImporter : public QObject {
    Q_OBJECT

public:
    using Pages = PageDocument::Pages;

    // What one batch came to.
    struct Report {
        qsizetype added = 0;
        QList<ImportFailure> failures;
    };

    // Pages enter `document`, which must outlive the importer; their cache
    // files go into the folder `cacheFolder` returns, asked as each source
    // starts (so that it can make the folder first).
    PageImporter(PageDocument& document, std::function<QUrl()> cacheFolder,
                 QObject* parent = nullptr);
    // Forgets every source, then waits for the one in progress; no batch
    // is reported.
    ~PageImporter() override;

    PageImporter(const PageImporter&) = delete;
    PageImporter& operator=(const PageImporter&) = delete;

    // Files and folders (see ImageFileSource::expandFolders), their
    // resolution falling back to `fallbackDpi`; the files are left alone.
    // Nothing happens when they hold no local file.
    void addFiles(const QList<QUrl>& urls, int fallbackDpi);

    // A batch of sources to come: add() joins it, close() says that no more
    // will; batchFinished() follows once it is closed and every source done.
    int openBatch();
    void add(int batch, std::unique_ptr<PageSource> source);
    void close(int batch);

    // Pages that exist already (a restored session's): appended at once,
    // the last one selected; status "N page(s) ready.".
    void addReady(const Pages& pages);

    // Sources are waiting or being made.
    bool running() const { return !queue_.empty() || current_.isRunning(); }
    // Forgets the files given to addFiles() that are not in yet (nothing is
    // reported); the pages of the one in progress are discarded. Other
    // batches go on.
    void cancelFiles();
    // Waits for the source in progress, if any (after cancelFiles()).
    void wait() const { current_.wait(); }

Q_SIGNALS:
    void statusReported(const QString& status);
    void failed(const QString& message);
    void batchFinished(int batch, const PageImporter::Report& report);

private:
    // A page on its way to the GUI thread; discarded unless taken.
    class Arrival {
    public:
        explicit Arrival(PageSource::Made made) : made_(std::move(made)) {}
        Arrival(Arrival&& other) noexcept : made_(std::exchange(other.made_, {})) {}
        Arrival(const Arrival&) = delete;
        Arrival& operator=(const Arrival&) = delete;
        ~Arrival();
        std::shared_ptr<ScannedPage> take() { return std::exchange(made_.page, nullptr); }

    private:
        PageSource::Made made_;
    };
    using SourceJob = Job<std::optional<ImportFailure>, Arrival>;

    struct Batch {
        bool files = false;
        bool closed = false;
        int outstanding = 0;
        Report report;
        std::shared_ptr<ScannedPage> last;
    };
    struct Waiting {
        int batch = 0;
        std::unique_ptr<PageSource> source;
    };

    void startNext();
    void arrived(Arrival arrival);
    void sourceDone(const std::optional<ImportFailure>& failure);
    void finishIfDone(int batch);
    void showFileProgress();

    PageDocument& document_;
    std::function<QUrl()> cacheFolder_;
    std::deque<Waiting> queue_;
    std::map<int, Batch> batches_;
    int nextBatch_ = 1;
    // The batch of files, while one runs, and its progress.
    std::optional<int> fileBatch_;
    int filesDone_ = 0;
    int filesTotal_ = 0;
    // The source in progress and its batch.
    SourceJob current_;
    int currentBatch_ = 0;
    // Declared last: goes first, waiting for the source in progress.
    QThreadPool pool_;
};
