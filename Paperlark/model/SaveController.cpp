#include "model/SaveController.h"

#include "pages/DocumentSaver.h"
#include "settings/HorizontalSpace.h"

#include <QDateTime>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <utility>

SaveController::SaveController(SettingsController& settings, PageDocument& document,
                               const TextRecognitionQueue& recognition,
                               std::function<QString()> scannerToRemember, DesktopServices& desktop,
                               QObject* parent)
    : QObject(parent), settings_(settings), document_(document), recognition_(recognition),
      scannerToRemember_(std::move(scannerToRemember)), desktop_(desktop),
      fileName_(freshFileName()) {}

void SaveController::setFileName(QString name) {
    fileName_ = std::move(name);
    Q_EMIT fileNameChanged();
}

QString SaveController::freshFileName() const {
    return DocumentSaver::buildBaseName(settings_.settings().fileNamePattern,
                                        QDateTime::currentDateTime());
}

std::optional<QList<QUrl>> SaveController::saveCurrentPages() {
    if (document_.isEmpty()) {
        Q_EMIT failed(QStringLiteral("There is nothing to save yet. Scan a page first."));
        return std::nullopt;
    }
    // Remembered before anything is written, so it stands even if the save fails.
    settings_.edit([this](AppSettings& s) { s.lastDeviceId = scannerToRemember_(); });
    settings_.save();

    const AppSettings& settings = settings_.settings();
    // A blank field falls back to the pattern; anything else goes to the saver
    // exactly as typed (it cleans the name itself).
    const QString baseName = HorizontalSpace::isBlank(fileName_) ? freshFileName() : fileName_;
    const DocumentSaver::TextLayers text = settings.format == OutputFormat::pdf
                                               ? recognition_.textLayers(document_.pages())
                                               : DocumentSaver::TextLayers();
    const int quality =
        static_cast<int>(std::clamp<std::int64_t>(settings.jpegQuality, INT_MIN, INT_MAX));
    auto saved = DocumentSaver::save(document_.pages(), settings.saveFolderURL(), baseName,
                                     settings.format, quality, text);
    if (!saved) {
        Q_EMIT failed(saved.failure().description());
        return std::nullopt;
    }
    lastSavedFiles_ = std::move(saved).value();
    document_.markSaved();
    return lastSavedFiles_;
}

void SaveController::save() {
    if (!whenTextIsReady([this] { finishSave(); })) {
        finishSave();
    }
}

bool SaveController::whenTextIsReady(std::function<void()> then) {
    if (waiting_) {
        return true; // already waiting to save; this request is dropped
    }
    if (settings_.settings().format != OutputFormat::pdf ||
        recognition_.pendingCount(document_.pages()) == 0) {
        return false;
    }
    waiting_.emplace();
    Q_EMIT busyChanged();
    waiting_->then = std::move(then);
    waiting_->progress = connect(&recognition_, &TextRecognitionQueue::progressed, this,
                                 &SaveController::continueWaiting);
    waiting_->list =
        connect(&document_.list(), &PageList::changed, this, &SaveController::continueWaiting);
    continueWaiting();
    return true;
}

void SaveController::continueWaiting() {
    const qsizetype total = document_.size();
    const qsizetype pending = recognition_.pendingCount(document_.pages());
    if (pending > 0) {
        Q_EMIT statusReported(QStringLiteral("Recognising text: page %1 of %2...")
                                  .arg(total - pending + 1)
                                  .arg(total));
        return;
    }
    Waiting done = std::move(*waiting_);
    waiting_.reset();
    disconnect(done.progress);
    disconnect(done.list);
    Q_EMIT busyChanged();
    if (done.then) {
        done.then();
    }
}

void SaveController::finishSave() {
    const bool pdf = settings_.settings().format == OutputFormat::pdf;
    const qsizetype withoutText = pdf ? recognition_.failedCount(document_.pages()) : 0;
    const std::optional<QString> reason =
        withoutText > 0 ? recognition_.firstFailure(document_.pages()) : std::nullopt;
    const std::optional<QList<QUrl>> urls = saveCurrentPages();
    if (!urls) {
        return;
    }
    QStringList names;
    for (const QUrl& url : *urls) {
        names << url.fileName();
    }
    QString status = QStringLiteral("Saved ") + names.join(QStringLiteral(", "));
    if (reason) {
        status +=
            QStringLiteral(". %1 page(s) saved without text: %2").arg(withoutText).arg(*reason);
    }
    Q_EMIT statusReported(status);

    if (settings_.settings().openAfterSave && !urls->isEmpty()) {
        desktop_.openUrl(urls->first());
    }
    clearAfterSaving();
}

void SaveController::clearAfterSaving() {
    if (document_.isEmpty() || !settings_.settings().clearPagesAfterSave) {
        return;
    }
    document_.clear();
    setFileName(freshFileName());
}

void SaveController::chooseFolder() {
    const std::optional<QUrl> chosen = desktop_.chooseFolder(settings_.settings().saveFolderURL());
    if (!chosen || !chosen->isLocalFile() || chosen->toLocalFile().isEmpty()) {
        return;
    }
    settings_.edit([&chosen](AppSettings& s) { s.saveFolder = chosen->toLocalFile(); });
    settings_.save();
}

void SaveController::openSaveFolder() {
    const QUrl folder = settings_.settings().saveFolderURL();
    QDir().mkpath(folder.toLocalFile());
    desktop_.openUrl(folder);
}
