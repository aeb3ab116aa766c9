#include "model/ScannerViewModel.h"

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
    editSettings([this](AppSettings& s) { s.lastDeviceId = selectedDeviceID_; });
    settings_.save();

    // A blank field falls back to the pattern; anything else goes to the saver
    // exactly as typed (it cleans the name itself).
    const QString baseName = HorizontalSpace::isBlank(fileName_) ? freshFileName() : fileName_;
    auto saved = DocumentSaver::save(pages_.pages(), settings_.saveFolderURL(), baseName,
                                     settings_.format, toInt(settings_.jpegQuality));
    if (!saved) {
        setErrorMessage(saved.failure().description());
        return std::nullopt;
    }
    lastSavedFiles_ = std::move(saved).value();
    return lastSavedFiles_;
}

void ScannerViewModel::save() {
    const std::optional<QList<QUrl>> urls = saveCurrentPages();
    if (!urls) {
        return;
    }
    QStringList names;
    for (const QUrl& url : *urls) {
        names << url.fileName();
    }
    setStatus(QStringLiteral("Saved ") + names.join(QStringLiteral(", ")));

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
