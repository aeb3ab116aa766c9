#pragma once

#include "pages/ScannedPage.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

// Turns image files into pages away from the GUI thread: one file at a time
// on a worker thread, each outcome handed back on the GUI thread in the order
// the files were given, so the window keeps answering however many files
// come. Files added while an import runs join the end of the queue.
//
// Used from the GUI thread only. Destroying the import, or cancel(), lets
// the file in progress finish (its page, if made, is discarded) and forgets
// the rest.
class PageImport : public QObject {
    Q_OBJECT

public:
    // The outcome of one file.
    struct Outcome {
        std::shared_ptr<ScannedPage> page; // null when the file failed
        QString failure;                   // the failure's description
    };

    // Pages are cached in `cacheFolder`, which must not be empty.
    explicit PageImport(QUrl cacheFolder, QObject* parent = nullptr);
    ~PageImport() override;

    PageImport(const PageImport&) = delete;
    PageImport& operator=(const PageImport&) = delete;

    // Queues files (local file URLs); their resolution falls back to
    // `fallbackDpi`. The source files are left alone.
    void add(const QList<QUrl>& files, int fallbackDpi);

    // Forgets the queued files and drops the outcome of the file in progress.
    void cancel();
    // Waits for the file in progress, if any (after cancel()).
    void wait();

    bool running() const { return !queue_.isEmpty() || working_; }
    // Files done and files in all since the queue was last empty.
    int done() const { return done_; }
    int total() const { return total_; }

    // The files given, with each folder replaced by the image files directly
    // inside it (JPEG, PNG, TIFF, BMP, by their name's extension) in natural
    // name order ("2" before "10"). Anything that is not a local file is left
    // out.
    static QList<QUrl> expandFolders(const QList<QUrl>& urls);

Q_SIGNALS:
    // One file is done, in the order given.
    void fileDone(const PageImport::Outcome& outcome);
    // The queue is empty: every file given is done.
    void finished();

private:
    struct Job {
        QUrl file;
        int fallbackDpi = 0;
    };

    void startNext();
    void jobFinished();

    QUrl cacheFolder_;
    QList<Job> queue_;
    QPointer<QFutureWatcher<Outcome>> working_;
    int done_ = 0;
    int total_ = 0;
    // The outcome of the file in progress is no longer wanted.
    bool discardCurrent_ = false;
};
