#include "model/ScannerViewModel.h"

#include "model/PageOrder.h"
#include "pages/DocumentSaver.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <climits>

// Start-up, the published fields and the page list. Scanning, saving and
// e-mail live in ScannerViewModelScanning.cpp, ScannerViewModelSaving.cpp and
// ScannerViewModelEmail.cpp.

namespace {

const QString readyStatus = QStringLiteral("Ready.");
const QString pagesClearedStatus = QStringLiteral("Pages cleared.");

void discardAll(const ScannerViewModel::Pages& pages) {
    for (const auto& page : pages) {
        page->discard();
    }
}

} // namespace

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop, QObject* parent)
    : ScannerViewModel(std::move(desktop), std::make_unique<WorkerScannerBrowser>(), parent) {}

ScannerViewModel::ScannerViewModel(std::shared_ptr<DesktopServices> desktop,
                                   std::unique_ptr<ScannerBrowser> browser, QObject* parent)
    : QObject(parent), desktop_(std::move(desktop)), status_(readyStatus),
      importer_(std::make_unique<QThreadPool>()), import_(session_.url()) {
    Q_ASSERT(desktop_);
    Q_ASSERT(browser);
    importer_->setMaxThreadCount(1);
    connect(&import_, &PageImport::fileDone, this, &ScannerViewModel::droppedFileDone);
    connect(&import_, &PageImport::finished, this, &ScannerViewModel::droppedFilesDone);
    // Added pages are no step of their own: the history keeps them through
    // undo and redo, however they came.
    connect(&pages_, &PageList::appended, this,
            [this](const Pages& added) { history_.appended(added); });

    settings_ = AppSettings::load();
    fileName_ = freshFileName();
    selectedDeviceID_ = settings_.lastDeviceId;
    if (!selectedDeviceID_.isEmpty()) {
        rememberedDeviceID_ = selectedDeviceID_;
    }

    session_.create();
    followPagesForRecovery();

    recognition_ = std::make_unique<TextRecognitionQueue>(pages_);
    recognition_->configure(settings_.ocrEnabled, settings_.ocrLanguage);
    connect(this, &ScannerViewModel::settingsChanged, this,
            [this] { recognition_->configure(settings_.ocrEnabled, settings_.ocrLanguage); });

    // Last: the scanner service. Its lists reach the model asynchronously,
    // the current one first; the connections and the page callback go away
    // with the model.
    scanner_ = std::make_unique<ScannerService>(std::move(browser));
    connect(scanner_.get(), &ScannerService::devicesChanged, this,
            &ScannerViewModel::deliverDevices);
    QMetaObject::invokeMethod(
        this, [this, current = scanner_->devices()] { deliverDevices(current); },
        Qt::QueuedConnection);
    scanner_->setOnPageScanned([self = QPointer<ScannerViewModel>(this)](int count) {
        if (self) {
            self->setStatus(QStringLiteral("Scanned page ") + QString::number(count) +
                            QStringLiteral("..."));
        }
    });
    // Each page file of a scan starts becoming a page as soon as it arrives.
    connect(scanner_.get(), &ScannerService::pageScanned, this, [this](const QUrl& file) {
        if (scan_) {
            importScannedPage(scan_, file);
        }
    });
    scanner_->startBrowsing();
}

ScannerViewModel::~ScannerViewModel() = default;

// ---- Published fields ---------------------------------------------------------

void ScannerViewModel::publish(void (ScannerViewModel::*signal)()) {
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}

void ScannerViewModel::setSettings(AppSettings settings) {
    assign(settings_, std::move(settings), &ScannerViewModel::settingsChanged);
}

void ScannerViewModel::setSelectedPageID(std::optional<QUuid> id) {
    pages_.setSelectedID(std::move(id));
    publish(&ScannerViewModel::selectedPageIDChanged);
}

void ScannerViewModel::setSelectedPages(QSet<QUuid> ids, std::optional<QUuid> current) {
    pages_.setSelection(std::move(ids), std::move(current));
    publish(&ScannerViewModel::selectedPageIDChanged);
}

void ScannerViewModel::setStatus(QString status) {
    assign(status_, std::move(status), &ScannerViewModel::statusChanged);
}

void ScannerViewModel::setBusy(bool busy) {
    assign(busy_, busy, &ScannerViewModel::busyChanged);
}

void ScannerViewModel::setDevices(QList<ScannerDeviceInfo> devices) {
    assign(devices_, std::move(devices), &ScannerViewModel::devicesChanged);
}

void ScannerViewModel::setSelectedDeviceID(QString id) {
    rememberedDeviceID_.reset();
    chooseDevice(std::move(id));
}

void ScannerViewModel::chooseDevice(QString id) {
    assign(selectedDeviceID_, std::move(id), &ScannerViewModel::selectedDeviceIDChanged);
}

void ScannerViewModel::setFileName(QString name) {
    assign(fileName_, std::move(name), &ScannerViewModel::fileNameChanged);
}

void ScannerViewModel::setEmailSheetVisible(bool visible) {
    assign(emailSheetVisible_, visible, &ScannerViewModel::emailSheetVisibleChanged);
}

void ScannerViewModel::setErrorMessage(std::optional<QString> message) {
    assign(errorMessage_, std::move(message), &ScannerViewModel::errorMessageChanged);
}

void ScannerViewModel::notifyChanged() {
    pages_.pagesAltered();
    recognition_->refresh(); // a page may have been turned
    publish(&ScannerViewModel::pagesChanged);
}

void ScannerViewModel::publishPages() {
    publish(&ScannerViewModel::pagesChanged);
    publish(&ScannerViewModel::selectedPageIDChanged);
}

// ---- Derived values -------------------------------------------------------------

std::shared_ptr<ScannedPage> ScannerViewModel::selectedPage() const {
    return pages_.selectedPage();
}

bool ScannerViewModel::canSave() const {
    return !pages_.isEmpty() && !busy_;
}

bool ScannerViewModel::canEmail() const {
    return (!pages_.isEmpty() || !lastSavedFiles_.isEmpty()) && !busy_;
}

QString ScannerViewModel::pagesReadyText() const {
    return QString::number(pages_.size()) + QStringLiteral(" page(s) ready.");
}

QString ScannerViewModel::freshFileName() const {
    return DocumentSaver::buildBaseName(settings_.fileNamePattern, QDateTime::currentDateTime());
}

int ScannerViewModel::toInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// ---- Page list ------------------------------------------------------------------

void ScannerViewModel::importFiles() {
    importFiles(desktop_->chooseImageFiles());
}

void ScannerViewModel::importFiles(const QList<QUrl>& urls) {
    if (urls.isEmpty()) {
        return;
    }
    addPages(urls, settings_.dpi, false);
    setStatus(pagesReadyText());
}

void ScannerViewModel::addPages(const QList<QUrl>& urls, std::int64_t dpi, bool removingSource) {
    if (urls.isEmpty()) {
        return;
    }
    // The folder is gone after cleanUp(); bring it back private to the user
    // before pages are cached in it again.
    session_.create();

    Pages added;
    std::optional<QString> lastFailure;
    for (const QUrl& url : urls) {
        auto made = ScannedPage::make(url, session_.url(), toInt(dpi), removingSource);
        if (made) {
            added.append(std::move(made).value());
        } else {
            lastFailure = made.failure().description();
        }
    }
    if (pages_.append(added)) {
        publishPages();
    }
    if (lastFailure) {
        setErrorMessage(std::move(lastFailure));
    }
}

void ScannerViewModel::moveSelection(int offset) {
    if (!undoable([&] { return pages_.moveSelected(offset); })) {
        return;
    }
    publishPages();
}

void ScannerViewModel::deleteSelection() {
    if (!undoable([this] { return !pages_.removeSelection().isEmpty(); })) {
        return;
    }
    publishPages();
    setStatus(pagesReadyText());
}

void ScannerViewModel::clearPages(bool confirm) {
    if (pages_.isEmpty()) {
        return;
    }
    if (confirm && !desktop_->confirmDiscardAllPages()) {
        return;
    }
    undoable([this] { return !pages_.clear().isEmpty(); });
    publishPages();
    setStatus(pagesClearedStatus);
}

void ScannerViewModel::cleanUp(bool keepUnsavedPages) {
    editSettings([this](AppSettings& s) { s.lastDeviceId = deviceToRemember(); });
    settings_.save();
    import_.cancel();
    import_.wait();
    lastDropped_.reset();
    lastDropFailure_.reset();
    if (keepUnsavedPages && unsavedPageCount() > 0) {
        session_.recordPages(pages_.pages());
        session_.release();
        return;
    }
    history_.clear();
    discardAll(history_.takeReleased({}));
    publish(&ScannerViewModel::historyChanged);
    discardAll(pages_.pages());
    session_.remove();
}

// ---- Arranging, undo and redo ----------------------------------------------------

template <typename Change> bool ScannerViewModel::undoable(Change&& change) {
    PageHistory::State before =
        PageHistory::capture(pages_.pages(), pages_.selectedID(), pages_.selectedIDs());
    if (!std::forward<Change>(change)()) {
        return false;
    }
    history_.record(std::move(before));
    releaseDroppedPages();
    publish(&ScannerViewModel::historyChanged);
    return true;
}

void ScannerViewModel::releaseDroppedPages() {
    discardAll(history_.takeReleased(pages_.pages()));
}

void ScannerViewModel::rotateSelection(int quarterTurns) {
    std::optional<QString> failure;
    const bool rotated = undoable([&] {
        bool any = false;
        for (const auto& page : pages_.selectedPages()) {
            const auto turned = page->rotate(quarterTurns);
            if (!turned) {
                failure = turned.failure().description();
                break;
            }
            any = true;
        }
        return any;
    });
    if (rotated) {
        notifyChanged();
    }
    if (failure) {
        setErrorMessage(std::move(failure));
    }
}

void ScannerViewModel::movePages(const QSet<QUuid>& ids, int row) {
    if (undoable([&] { return pages_.reorder(PageOrder::movedTo(pages_.pages(), ids, row)); })) {
        publishPages();
    }
}

QSet<QUuid> ScannerViewModel::pagesToArrange() const {
    if (pages_.selectedPages().size() > 1) {
        return pages_.selectedIDs();
    }
    const QList<QUuid> all = PageOrder::ids(pages_.pages());
    return {all.cbegin(), all.cend()};
}

void ScannerViewModel::interleaveSelection() {
    const QSet<QUuid> set = pagesToArrange();
    const auto order = PageOrder::interleaved(pages_.pages(), set);
    if (!order) {
        setErrorMessage(QStringLiteral("Cannot interleave %1 page(s): that needs an even number, "
                                       "the fronts in order followed by the backs in reverse "
                                       "order.")
                            .arg(set.size()));
        return;
    }
    if (undoable([&] { return pages_.reorder(*order); })) {
        publishPages();
        setStatus(QStringLiteral("Interleaved %1 page(s).").arg(set.size()));
    }
}

void ScannerViewModel::reverseSelection() {
    const QSet<QUuid> set = pagesToArrange();
    if (undoable([&] { return pages_.reorder(PageOrder::reversed(pages_.pages(), set)); })) {
        publishPages();
        setStatus(QStringLiteral("Reversed the order of %1 page(s).").arg(set.size()));
    }
}

void ScannerViewModel::selectBlankPages() {
    QSet<QUuid> blank;
    std::optional<QUuid> first;
    for (const auto& page : pages_.pages()) {
        if (page->looksBlank()) {
            blank.insert(page->id());
            if (!first) {
                first = page->id();
            }
        }
    }
    if (blank.isEmpty()) {
        setStatus(QStringLiteral("No page looks blank."));
        return;
    }
    setSelectedPages(std::move(blank), first);
    setStatus(QString::number(pages_.selectedIDs().size()) +
              QStringLiteral(" page(s) look blank. Check them, then delete the ones to go."));
}

void ScannerViewModel::undo() {
    stepHistory(true);
}

void ScannerViewModel::redo() {
    stepHistory(false);
}

void ScannerViewModel::stepHistory(bool back) {
    const PageHistory::State* target = back ? history_.nextUndo() : history_.nextRedo();
    if (target == nullptr) {
        return;
    }
    PageHistory::State present =
        PageHistory::capture(pages_.pages(), pages_.selectedID(), pages_.selectedIDs());
    if (const auto failure = restore(*target)) {
        setErrorMessage((back ? QStringLiteral("The change could not be undone. ")
                              : QStringLiteral("The change could not be redone. ")) +
                        *failure);
        return;
    }
    if (back) {
        history_.undone(std::move(present));
    } else {
        history_.redone(std::move(present));
    }
    publishPages();
    publish(&ScannerViewModel::historyChanged);
    setStatus((back ? QStringLiteral("Undone. ") : QStringLiteral("Redone. ")) + pagesReadyText());
}

std::optional<QString> ScannerViewModel::restore(const PageHistory::State& state) {
    // A page that comes back needs its cache file.
    QSet<QUuid> listed;
    for (const auto& page : pages_.pages()) {
        listed.insert(page->id());
    }
    for (const auto& page : state.pages) {
        if (!listed.contains(page->id()) && !QFileInfo::exists(page->cacheURL().toLocalFile())) {
            return ImageFile::Failure::unreadable(page->cacheURL()).description();
        }
    }
    // Turn pages back (or forth); a failure turns back those already turned.
    QList<std::pair<std::shared_ptr<ScannedPage>, int>> turned;
    for (const auto& page : state.pages) {
        const int turns =
            (state.turns.value(page->id(), page->quarterTurns()) - page->quarterTurns()) & 3;
        if (turns == 0) {
            continue;
        }
        if (const auto rotated = page->rotate(turns); !rotated) {
            for (const auto& [done, by] : turned) {
                done->rotate(-by);
            }
            return rotated.failure().description();
        }
        turned.append({page, turns});
    }
    pages_.restore(state.pages, state.current, state.selection);
    if (!turned.isEmpty()) {
        notifyChanged();
    }
    return std::nullopt;
}

// ---- Dropped files ------------------------------------------------------------------

void ScannerViewModel::addDroppedFiles(const QList<QUrl>& urls) {
    const QList<QUrl> files = PageImport::expandFolders(urls);
    if (files.isEmpty()) {
        return;
    }
    session_.create();
    import_.add(files, toInt(settings_.dpi));
    setStatus(QStringLiteral("Adding image file %1 of %2...")
                  .arg(import_.done() + 1)
                  .arg(import_.total()));
}

void ScannerViewModel::droppedFileDone(const PageImport::Outcome& outcome) {
    if (outcome.page) {
        pages_.append({outcome.page}, false);
        lastDropped_ = outcome.page;
        publish(&ScannerViewModel::pagesChanged);
    } else {
        lastDropFailure_ = outcome.failure;
    }
    if (import_.done() < import_.total()) {
        setStatus(QStringLiteral("Adding image file %1 of %2...")
                      .arg(import_.done() + 1)
                      .arg(import_.total()));
    }
}

void ScannerViewModel::droppedFilesDone() {
    if (lastDropped_ && pages_.pages().contains(lastDropped_)) {
        setSelectedPageID(lastDropped_->id());
    }
    lastDropped_.reset();
    setStatus(pagesReadyText());
    if (lastDropFailure_) {
        setErrorMessage(std::exchange(lastDropFailure_, std::nullopt));
    }
}
