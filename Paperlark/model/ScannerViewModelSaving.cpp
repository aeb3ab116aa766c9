#include "model/ScannerViewModel.h"

#include <utility>

#include "pages/DocumentSaver.h"
#include "settings/HorizontalSpace.h"

#include <QDir>
#include <QStringList>

// Saving and folders: Save, "Choose..." and "Open folder".

namespace {

const QString nothingToSaveMessage =
    QStringLiteral("There is nothing to save yet. Scan a page first.");

} // namespace

std::optional<QList<QUrl>> ScannerViewModel::saveCurrentPages() {
    if (pages_.isEmpty()) {
        setErrorMessage(nothingToSaveMessage);
        return std::nullopt;
    }

    // Remembered before anything is written, so it stands even if the save fails.
    editSettings([this](AppSettings& s) { s.lastDeviceId = deviceToRemember(); });
    settings_.save();

    // A blank field falls back to the pattern; anything else goes to the saver
    // exactly as typed (it cleans the name itself).
    const QString baseName = HorizontalSpace::isBlank(fileName_) ? freshFileName() : fileName_;
    const DocumentSaver::TextLayers text = settings_.format == OutputFormat::pdf
                                               ? recognition_->textLayers(pages_.pages())
                                               : DocumentSaver::TextLayers();
    auto saved = DocumentSaver::save(pages_.pages(), settings_.saveFolderURL(), baseName,
                                     settings_.format, toInt(settings_.jpegQuality), text);
    if (!saved) {
        setErrorMessage(saved.failure().description());
        return std::nullopt;
    }
    lastSavedFiles_ = std::move(saved).value();
    rememberSavedPages();
    return lastSavedFiles_;
}

void ScannerViewModel::save() {
    if (!waitForText([this] { finishSave(); })) {
        finishSave();
    }
}

bool ScannerViewModel::waitForText(std::function<void()> then) {
    if (waitingForText_) {
        return true; // already waiting to save; this request is dropped
    }
    if (settings_.format != OutputFormat::pdf || recognition_->pendingCount(pages_.pages()) == 0) {
        return false;
    }
    setBusy(true);
    afterText_ = std::move(then);
    waitingForText_ = connect(recognition_.get(), &TextRecognitionQueue::progressed, this,
                              &ScannerViewModel::continueSaveAfterText);
    waitingForTextList_ =
        connect(&pages_, &PageList::changed, this, &ScannerViewModel::continueSaveAfterText);
    continueSaveAfterText();
    return true;
}

void ScannerViewModel::continueSaveAfterText() {
    const qsizetype total = pages_.size();
    const qsizetype pending = recognition_->pendingCount(pages_.pages());
    if (pending > 0) {
        setStatus(QStringLiteral("Recognising text: page %1 of %2...")
                      .arg(total - pending + 1)
                      .arg(total));
        return;
    }
    disconnect(waitingForText_);
    disconnect(waitingForTextList_);
    waitingForText_ = {};
    setBusy(false);
    if (const auto then = std::exchange(afterText_, {})) {
        then();
    }
}

void ScannerViewModel::finishSave() {
    const bool pdf = settings_.format == OutputFormat::pdf;
    const qsizetype withoutText = pdf ? recognition_->failedCount(pages_.pages()) : 0;
    const std::optional<QString> reason =
        withoutText > 0 ? recognition_->firstFailure(pages_.pages()) : std::nullopt;
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
    setStatus(status);

    if (settings_.openAfterSave && !urls->isEmpty()) {
        desktop_->openUrl(urls->first());
    }
    if (settings_.clearPagesAfterSave) {
        clearPages(false);
        setFileName(freshFileName());
    }
}

void ScannerViewModel::chooseFolder() {
    const std::optional<QUrl> chosen = desktop_->chooseFolder(settings_.saveFolderURL());
    if (!chosen || !chosen->isLocalFile() || chosen->toLocalFile().isEmpty()) {
        return;
    }
    editSettings([&chosen](AppSettings& s) { s.saveFolder = chosen->toLocalFile(); });
    settings_.save();
}

void ScannerViewModel::openSaveFolder() {
    const QUrl folder = settings_.saveFolderURL();
    QDir().mkpath(folder.toLocalFile());
    desktop_->openUrl(folder);
}
