#pragma once

#include "Result.h"
#include "pages/FolderFailure.h"
#include "pages/ImageFile.h"
#include "pages/TextLayer.h"

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>
#include <variant>

// One page of the session: a copy in the cache folder plus what the page
// list needs to show it without decoding it again. The copy is a PNG, except
// for JPEG sources, which are kept as they are (their pixels are the same
// either way, and a PNG of them takes four to five times the space). A page
// kept as JPEG is never rewritten: a rotation is recorded as the quarter
// turns its decoded pixels take (cacheTurns), so that it stays as small and
// its pixels stay exactly those of the file turned. Cache files appear
// complete or not at all (see DurableFile). Pages have identity and are
// shared as std::shared_ptr<ScannedPage>; two pages are the same page when
// their ids are equal.
class ScannedPage {
public:
    struct Failure {
        // Either the image could not be read or written, or the cache folder
        // could not be created.
        std::variant<ImageFile::Failure, FolderFailure> reason;

        QString description() const;
        // The image failure, when that is what went wrong.
        const ImageFile::Failure* imageFailure() const {
            return std::get_if<ImageFile::Failure>(&reason);
        }
    };

    // What the preview pane shows: the full bitmap and the size, in points,
    // to draw it at (at most 1400 high).
    struct Preview {
        QImage image;
        QSizeF displaySize;
    };

    static constexpr double thumbnailWidth = 120;
    static constexpr double thumbnailHeight = 160;
    static constexpr QSizeF thumbnailSize{thumbnailWidth, thumbnailHeight};
    static constexpr double maxPreviewHeight = 1400;

    // Copies `source` into `cacheFolder` (created when missing) as
    // "page_<UUID>.png" (or "page_<UUID>.jpg", see above) and builds the page,
    // measuring on the way whether it looks blank. When removingSource is true
    // the source is deleted after the copy has been written (a failure to
    // delete is ignored). A source that is to be removed, lies in
    // `cacheFolder` and carries its PageSummary (a scanned page) is renamed
    // into place instead of copied, and neither decoded nor measured. A
    // failed make leaves the source alone and no cache file. Takes a while
    // for a large page: callers keep it off the GUI thread where they can.
    static Result<std::shared_ptr<ScannedPage>, Failure>
    make(const QUrl& source, const QUrl& cacheFolder, int fallbackDpi, bool removingSource);

    const QUuid& id() const { return id_; }
    // The cache file; it never changes.
    const QUrl& cacheURL() const { return cacheURL_; }
    // Quarter turns clockwise, 0...3, that the cache file's decoded pixels
    // take to become the page: 0 for a PNG, which rotation rewrites.
    int cacheTurns() const { return cacheTurns_; }
    // Pixel dimensions of the cached image.
    QSizeF pixelSize() const { return pixelSize_; }
    double dpi() const { return dpi_; }
    // Quarter turns clockwise since the page was made, 0...3: pages whose
    // pixels depend on their turn (recognised text, say) can tell.
    int quarterTurns() const { return quarterTurns_; }
    // 120 x 160 image for the page list.
    const QImage& thumbnail() const { return thumbnail_; }
    // The share of the page covered by ink (BlankPageDetector), measured once
    // when the page was made; rotation does not change it. None for a page
    // that was not measured.
    std::optional<double> inkShare() const { return inkShare_; }
    // The page seems to carry nothing: the page list flags it for the user.
    bool looksBlank() const;
    // The text layer the page came with (the invisible text of an imported
    // scanned PDF page), kept as a one-page PDF beside the cache file (see
    // textLayerURLFor) in the page's orientation as it is now; an empty URL
    // when the page has none. A PDF of the page carries it rather than text
    // recognised again.
    const QUrl& textLayerURL() const { return textLayerURL_; }
    // Where the text layer of the page cached at `cacheURL` is kept:
    // "page_<UUID>.pdf", the cache file's name with ".pdf" for its suffix.
    static QUrl textLayerURLFor(const QUrl& cacheURL);

    // The full-resolution image from the cache file.
    Result<QImage, ImageFile::Failure> loadFullImage() const;
    // The same for a page's cache file, resolution and cacheTurns, for work
    // on other threads that keeps copies of them rather than the page.
    static Result<QImage, ImageFile::Failure> loadImage(const QUrl& cacheURL, double dpi,
                                                        int cacheTurns);

    // The cached image for the preview pane, or nothing when it cannot be read.
    std::optional<Preview> loadPreviewImage() const;
    // The size, in points, at which an image of the given pixel size is shown.
    static QSizeF previewDisplaySize(const QSizeF& pixels);

    // Rotates the page by quarter turns clockwise: a PNG is rewritten, a
    // page kept as JPEG records the turn in cacheTurns instead. pixelSize,
    // thumbnail and quarterTurns follow and revision() counts up; a text
    // layer is turned with the page (or, when it cannot be, dropped). On
    // failure nothing changes (the cache file is replaced atomically).
    Result<void, ImageFile::Failure> rotate(int quarterTurnsClockwise);
    // How often the page's pixels have changed since it was made.
    int revision() const { return revision_; }

    // Deletes the cache file and the text layer; failures are ignored.
    void discard() const;

    // "2480 x 3508 px @ 300 dpi"
    QString description() const;

    // The 120 x 160 thumbnail of an image: scaled to fit inside a 4-point
    // margin, centred on white, framed with a 1-point grey line.
    static QImage makeThumbnail(const QImage& image);

    // "page_" + upper-case UUID + suffix (".png" unless told otherwise)
    static QString makeCacheFileName(const QString& suffix = QStringLiteral(".png"));
    // Where earlier versions put the pixels of a page cached at `cacheURL`
    // when it was rotated: the same file, or for "page_X.jpg" the file
    // "page_X.png" (sessions they left behind may hold such files).
    static QUrl rotatedCacheURL(const QUrl& cacheURL);

    bool operator==(const ScannedPage& other) const { return id_ == other.id_; }

    ScannedPage(QUuid id, QUrl cacheURL, QSizeF pixelSize, double dpi, QImage thumbnail,
                std::optional<double> inkShare = std::nullopt, int cacheTurns = 0,
                QUrl textLayerURL = {});

private:
    void turnTextLayer(int quarterTurnsClockwise);

    QUuid id_;
    QUrl cacheURL_;
    QSizeF pixelSize_;
    double dpi_;
    QImage thumbnail_;
    std::optional<double> inkShare_;
    int cacheTurns_ = 0;
    int quarterTurns_ = 0;
    int revision_ = 0;
    QUrl textLayerURL_;
};
