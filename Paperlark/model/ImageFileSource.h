#pragma once

#include "model/PageSource.h"
#include "model/ScanProcessing.h"

#include <QList>
#include <QUrl>

// One image file (JPEG, PNG, TIFF, BMP) that becomes one page.
class ImageFileSource : public PageSource {
public:
    // The page's resolution falls back to `fallbackDpi` when the file states
    // none; with `removingSource` the file is deleted once its page exists
    // (a scanner's delivered file), otherwise it is left alone. The page
    // goes through `processing` once it exists.
    ImageFileSource(QUrl file, int fallbackDpi, bool removingSource,
                    ScanProcessing processing = {});

    QUrl origin() const override { return file_; }
    std::optional<ImportFailure> makePages(const QUrl& cacheFolder, const Yield& yield,
                                           const std::atomic<bool>& cancelled) override;

    // The files given, with each folder replaced by the image and PDF files
    // directly inside it (JPEG, PNG, TIFF, BMP, PDF, by their name's
    // extension) in natural name order ("2" before "10"). Anything that is not a local file is left
    // out; a file given by name, or a folder that cannot be listed, is kept
    // whatever it is (reading it decides).
    static QList<QUrl> expandFolders(const QList<QUrl>& urls);

private:
    QUrl file_;
    int fallbackDpi_;
    bool removingSource_;
    ScanProcessing processing_;
};
