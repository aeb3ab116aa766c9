#pragma once

#include "model/PageSource.h"
#include "pdf/PdfImport.h"

#include <QUrl>

// A PDF file whose pages become pages, in order (see PdfImport: scanned
// pages keep their images, other pages are drawn, invisible text comes along
// as the page's text layer). Besides each page it yields, before the first
// page and after every page but the last, a note without a page that names
// the page being made next, for progress texts. It stops after the page
// under way once `cancelled` is set, returning the cancelled failure.
class PdfFileSource : public PageSource {
public:
    explicit PdfFileSource(QUrl file,
                           PdfImport::Settings settings = PdfImport::Settings::defaults());

    QUrl origin() const override { return file_; }
    std::optional<ImportFailure> makePages(const QUrl& cacheFolder, const Yield& yield,
                                           const std::atomic<bool>& cancelled) override;

private:
    QUrl file_;
    PdfImport::Settings settings_;
};
