#pragma once

#include "model/PageSource.h"

#include <QUrl>

// A file the user added (chosen, dropped, named on the command line): a PDF,
// known by its content (PdfImport::isPdf) or its name, gives its pages as
// PdfFileSource makes them; any other file is one image, as ImageFileSource reads it (its
// resolution falling back to `fallbackDpi`). The file is left alone, and
// looked at only once the pages are made, on the importer's thread.
class AddedFileSource : public PageSource {
public:
    AddedFileSource(QUrl file, int fallbackDpi);

    QUrl origin() const override { return file_; }
    std::optional<ImportFailure> makePages(const QUrl& cacheFolder, const Yield& yield,
                                           const std::atomic<bool>& cancelled) override;

private:
    QUrl file_;
    int fallbackDpi_;
};
