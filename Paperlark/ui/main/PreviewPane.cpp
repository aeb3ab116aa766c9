#include "ui/main/PreviewPane.h"

#include "model/ScannerViewModel.h"
#include "pages/ScannedPage.h"
#include "ui/controls/SymbolImage.h"
#include "ui/controls/Theme.h"
#include "ui/main/CropFrame.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QPainterPath>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

PreviewPane::PreviewPane(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("previewPane"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(&model_, &ScannerViewModel::selectedPageIDChanged, this, &PreviewPane::follow);
    connect(&model_, &ScannerViewModel::pagesChanged, this, &PreviewPane::follow);
    connect(&model_, &ScannerViewModel::cropFrameFound, this,
            [this](const QUuid& id, const QRect& frame) {
                if (crop_ != nullptr && id == cropId_ && !crop_->moved()) {
                    crop_->setFrame(frame);
                }
            });
    follow();
}

PreviewPane::~PreviewPane() {
    // A decode still running keeps its page alive and finishes on its own;
    // its result goes nowhere.
    if (running_ != nullptr) {
        running_->disconnect(this);
    }
}

QString PreviewPane::placeholderText() {
    return QStringLiteral("Scanned pages appear here");
}

void PreviewPane::follow() {
    const std::shared_ptr<ScannedPage> page = model_.selectedPage();
    std::optional<Subject> subject;
    if (page != nullptr) {
        subject = Subject{page->id(), page->thumbnail().cacheKey()};
    }
    if (subject == subject_) {
        return;
    }
    subject_ = subject;
    endCrop(); // the frame was for the page as it was
    ++generation_;
    if (page == nullptr) {
        waiting_.reset();
        picture_ = QImage();
        pictureId_.reset();
        scaled_ = QPixmap();
        setState(State::Placeholder);
        return;
    }
    if (pictureId_ != page->id()) {
        // Another page: the old picture must not stand in for it.
        picture_ = QImage();
        pictureId_.reset();
        scaled_ = QPixmap();
    }
    // The same page rotated keeps its old picture until the new one is ready.
    if (picture_.isNull()) {
        setState(State::Loading);
    }
    if (running_ != nullptr) {
        waiting_ = page;
        waitingGeneration_ = generation_;
        return;
    }
    startDecode(page, generation_);
}

PreviewPane::Decoded PreviewPane::decode(const std::shared_ptr<ScannedPage>& page,
                                         double devicePixelRatio, std::uint64_t generation) {
    std::optional<ScannedPage::Preview> preview = page->loadPreviewImage();
    if (!preview || preview->image.isNull()) {
        return {generation, QImage()};
    }
    // Keep no more pixels than the page's display size can show.
    QImage image = std::move(preview->image);
    const QSize limit = (preview->displaySize * devicePixelRatio).toSize();
    if (image.width() > limit.width() || image.height() > limit.height()) {
        image = image.scaled(limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return {generation, image.convertToFormat(QImage::Format_ARGB32_Premultiplied)};
}

void PreviewPane::startDecode(std::shared_ptr<ScannedPage> page, std::uint64_t generation) {
    ++decodeCount_;
    auto* watcher = new QFutureWatcher<Decoded>(this);
    connect(watcher, &QFutureWatcher<Decoded>::finished, this, &PreviewPane::decodeFinished);
    running_ = watcher;
    const double ratio = devicePixelRatioF();
    watcher->setFuture(QtConcurrent::run(
        [page = std::move(page), ratio, generation] { return decode(page, ratio, generation); }));
}

void PreviewPane::decodeFinished() {
    QFutureWatcher<Decoded>* watcher = running_;
    running_ = nullptr;
    if (watcher == nullptr) {
        return;
    }
    const Decoded decoded = watcher->result();
    watcher->deleteLater();

    if (waiting_ != nullptr) {
        // A newer wish arrived meanwhile: this result is stale.
        std::shared_ptr<ScannedPage> next = std::move(waiting_);
        waiting_.reset();
        startDecode(std::move(next), waitingGeneration_);
        return;
    }
    if (decoded.generation != generation_ || !subject_) {
        return;
    }
    if (decoded.image.isNull()) {
        picture_ = QImage();
        pictureId_.reset();
        scaled_ = QPixmap();
        setState(State::Placeholder);
        return;
    }
    picture_ = decoded.image;
    pictureId_ = subject_->id;
    scaled_ = QPixmap();
    setState(State::Picture);
}

void PreviewPane::setState(State state) {
    state_ = state;
    if (state_ != State::Picture) {
        endCrop();
    }
    placeCropFrame();
    update();
    Q_EMIT stateChanged();
}

void PreviewPane::beginCrop() {
    const std::shared_ptr<ScannedPage> page = model_.selectedPage();
    if (state_ != State::Picture || page == nullptr || page->id() != pictureId_) {
        return;
    }
    endCrop();
    cropId_ = page->id();
    crop_ = new CropFrame(page->pixelSize().toSize(), this);
    connect(crop_, &CropFrame::applied, this, [this](const QRect& frame) {
        const QUuid id = cropId_;
        endCrop();
        model_.cropPage(id, frame);
    });
    connect(crop_, &CropFrame::cancelled, this, &PreviewPane::endCrop);
    placeCropFrame();
    crop_->show();
    crop_->setFocus();
    model_.findCropFrame(cropId_);
}

void PreviewPane::endCrop() {
    if (crop_ != nullptr) {
        const bool hadFocus = crop_->hasFocus();
        crop_->hide();
        crop_->deleteLater();
        crop_ = nullptr;
        if (hadFocus) {
            setFocus();
        }
    }
}

void PreviewPane::placeCropFrame() {
    if (crop_ != nullptr) {
        crop_->setGeometry(rect());
        crop_->setPictureRect(pictureRect());
    }
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeCropFrame();
}

QRectF PreviewPane::pictureRect() const {
    if (picture_.isNull()) {
        return {};
    }
    const QRectF area = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
    if (area.isEmpty()) {
        return {};
    }
    const QSizeF fitted = QSizeF(picture_.size()).scaled(area.size(), Qt::KeepAspectRatio);
    return {area.left() + (area.width() - fitted.width()) / 2,
            area.top() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height()};
}

void PreviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath well;
    well.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(well, Theme::console.color());

    if (state_ == State::Picture) {
        const QRectF target = pictureRect();
        const double ratio = devicePixelRatioF();
        const QSize pixels(static_cast<int>(std::lround(target.width() * ratio)),
                           static_cast<int>(std::lround(target.height() * ratio)));
        if (pixels.isEmpty()) {
            return;
        }
        if (scaled_.size() != pixels) {
            // Only when the well changed size (or a new picture came).
            scaled_ = QPixmap::fromImage(
                picture_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            scaled_.setDevicePixelRatio(ratio);
        }
        painter.drawPixmap(target.topLeft(), scaled_);
        return;
    }
    if (state_ == State::Loading) {
        return;
    }

    const QFont font = Theme::font(13);
    const QFontMetrics metrics(font);
    constexpr int gap = 8;
    const double height = symbolSize + gap + metrics.height();
    const QPointF centre = QRectF(rect()).center();
    const QRectF symbol(centre.x() - symbolSize / 2, centre.y() - height / 2, symbolSize,
                        symbolSize);
    SymbolImage::paint(painter, QStringLiteral("doc.viewfinder"), symbol, Theme::muted.color(0.5));
    painter.setFont(font);
    painter.setPen(Theme::muted.color());
    painter.drawText(QRectF(0, symbol.bottom() + gap, width(), metrics.height()),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, placeholderText());
}
