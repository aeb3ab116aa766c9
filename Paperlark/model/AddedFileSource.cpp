#include "model/AddedFileSource.h"

#include "model/ImageFileSource.h"
#include "model/PdfFileSource.h"
#include "pdf/PdfImport.h"

#include <utility>

AddedFileSource::AddedFileSource(QUrl file, int fallbackDpi)
    : file_(std::move(file)), fallbackDpi_(fallbackDpi) {}

std::optional<ImportFailure> AddedFileSource::makePages(const QUrl& cacheFolder, const Yield& yield,
                                                        const std::atomic<bool>& cancelled) {
    // A file named as a PDF that is none is reported as a PDF that cannot
    // be read, not as an image.
    if (PdfImport::isPdf(file_) || file_.fileName().endsWith(u".pdf", Qt::CaseInsensitive)) {
        return PdfFileSource(file_).makePages(cacheFolder, yield, cancelled);
    }
    return ImageFileSource(file_, fallbackDpi_, false).makePages(cacheFolder, yield, cancelled);
}
