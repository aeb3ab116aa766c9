#pragma once

#include "model/Job.h"
#include "model/PageDocument.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <memory>
#include <optional>

// The page operations that work on a page's pixels: Straighten and Turn
// upright on the selected pages, and Crop on the page in the preview, with
// the crop frame's starting rectangle. Each runs as a job on a thread of the
// editor's own, one at a time, and its outcome enters the document as one
// step of the history (undo gives back the page as it was). A page that was
// turned, edited or removed while the job ran is left as it now is.
//
// Reports: "Straightened N page(s)." and/or "N page(s) were already
// straight.", "Turned N page(s) upright.", "Cropped page N." (its place in
// the list); a page that could not be read or written fails with its
// reason. Used on the GUI thread only.
class PageEditor : public QObject {
    Q_OBJECT

public:
    explicit PageEditor(PageDocument& document, QObject* parent = nullptr);
    // Drops whatever is running; a page it made is discarded.
    ~PageEditor() override;

    PageEditor(const PageEditor&) = delete;
    PageEditor& operator=(const PageEditor&) = delete;

    // An operation runs; the others are refused until it ends.
    bool busy() const { return job_.isRunning(); }

    // Status "Straightening page N of M..." while it runs.
    void straightenSelection();
    // Status "Looking at page N of M..." while it runs.
    void turnSelectionUpright();
    // Cuts the page `id` to `rect`, in its pixels as it shows.
    void crop(const QUuid& id, const QRect& rect);
    // Finds where the paper or print of page `id` lies; cropFrameFound()
    // follows (nothing when the page cannot be read).
    void findCropFrame(const QUuid& id);

    // Nothing running is delivered any more (a page it makes is discarded).
    void cancel();
    // Blocks until the operation running, if any, has done its work.
    void wait() const;

Q_SIGNALS:
    void busyChanged();
    void statusReported(const QString& status);
    void failed(const QString& message);
    // The starting frame of page `id`, in its pixels as it shows.
    void cropFrameFound(const QUuid& id, const QRect& frame);

private:
    struct Outcome;
    struct Edited;

    template <typename Work, typename Done>
    void start(const PageDocument::Pages& pages, const QString& progress, Work work, Done done);
    // Puts the edited pages still wanted into the document; the number.
    int apply(Edited& edited);

    PageDocument& document_;
    Job<std::shared_ptr<Edited>> job_;
    Job<std::optional<QRect>> frameJob_;
    // Declared last: goes first, waiting for the work in progress.
    QThreadPool pool_;
};
