#pragma once

#include "ui/main/CropFrame.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class ScannedPage;
class ScannerViewModel;
template <typename T> class QFutureWatcher;

// The large picture of the selected page on the dark `console` well, scaled
// to fit with its proportions kept and 12 points of margin; without a
// selected page, or when the page cannot be read, a placeholder: a
// document symbol over "Scanned pages appear here".
//
// Reading a page is slow for a 600-dpi scan, so the page is decoded and
// reduced to at most its display size on a worker thread, once for each
// change of the selected page or of its picture (a rotation). Painting only
// draws a copy already scaled to the well; it is made again only when the
// well changes size. At most one page is decoded at a time: selections made
// meanwhile collapse into the latest, and results that are no longer wanted
// are dropped.
//
// "Crop" lays a CropFrame over the picture (beginCrop()), starting at the
// paper or print the model finds; applying it crops the page through the
// model, Escape or another page leaves it.
class PreviewPane : public QWidget {
    Q_OBJECT

public:
    enum class State {
        Placeholder, // nothing selected, or the page could not be read
        Loading,     // the selected page is being decoded
        Picture,     // the selected page is shown
    };

    static constexpr double cornerRadius = 8;
    static constexpr int margin = 12;
    static constexpr double symbolSize = 44;

    explicit PreviewPane(ScannerViewModel& model, QWidget* parent = nullptr);
    ~PreviewPane() override;

    State state() const { return state_; }
    // The picture being shown (reduced to at most the page's display size).
    const QImage& picture() const { return picture_; }
    // The page the picture belongs to.
    std::optional<QUuid> pictureId() const { return pictureId_; }
    // How many times a page has been decoded since the pane was made.
    int decodeCount() const { return decodeCount_; }
    // Where the picture is drawn, in the pane's coordinates.
    QRectF pictureRect() const;

    static QString placeholderText();

    // Shows the crop frame over the page shown and gives it the focus;
    // nothing while no picture is shown.
    void beginCrop();
    // The crop frame while it shows, else null.
    CropFrame* cropFrame() const { return crop_; }

Q_SIGNALS:
    // The shown state changed (a picture arrived, or the placeholder is shown).
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What the pane shows for: the page and the version of its picture.
    struct Subject {
        QUuid id;
        std::int64_t pictureVersion = 0;
        bool operator==(const Subject&) const = default;
    };
    struct Decoded {
        std::uint64_t generation = 0;
        QImage image; // null when the page could not be read
    };

    void follow();
    void startDecode(std::shared_ptr<ScannedPage> page, std::uint64_t generation);
    void decodeFinished();
    void setState(State state);
    void placeCropFrame();
    void endCrop();
    static Decoded decode(const std::shared_ptr<ScannedPage>& page, double devicePixelRatio,
                          std::uint64_t generation);

    ScannerViewModel& model_;
    State state_ = State::Placeholder;
    std::optional<Subject> subject_;
    // Bumped for every new subject; a decode carrying an older number is stale.
    std::uint64_t generation_ = 0;
    QPointer<QFutureWatcher<Decoded>> running_;
    // The latest wish while a decode runs; started when it ends.
    std::shared_ptr<ScannedPage> waiting_;
    std::uint64_t waitingGeneration_ = 0;

    QImage picture_;
    std::optional<QUuid> pictureId_;
    // picture_ scaled to the well, made when the well's size changes.
    mutable QPixmap scaled_;
    int decodeCount_ = 0;
    QPointer<CropFrame> crop_;
    QUuid cropId_;
};
