#pragma once

#include "model/ImportFailure.h"
#include "pages/ScannedPage.h"

#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Somewhere pages come from: an image file gives one page; a source may give
// many (a document of several pages), one after another.
//
// makePages() runs on a worker thread, never on the GUI thread, and is called
// once. It hands each page to `yield` as soon as the page exists, so that
// the pages of a long source reach the list one by one and never all wait in
// memory together, and returns the failure that ended it, if any (pages
// yielded before a failure stay). It stops early, returning nothing, once
// `cancelled` is set. A page yielded after the import was cancelled is
// discarded by the importer.
class PageSource {
public:
    // One page made; `number` of `count` within the source (both 1 for a
    // source of one page), for progress texts.
    struct Made {
        std::shared_ptr<ScannedPage> page;
        int number = 1;
        int count = 1;
    };
    using Yield = std::function<void(Made)>;

    virtual ~PageSource() = default;

    // The file the pages come from, named in failure reports.
    virtual QUrl origin() const = 0;

    // Makes the pages, their cache files in `cacheFolder`.
    virtual std::optional<ImportFailure> makePages(const QUrl& cacheFolder, const Yield& yield,
                                                   const std::atomic<bool>& cancelled) = 0;

protected:
    PageSource() = default;
    PageSource(const PageSource&) = default;
    PageSource& operator=(const PageSource&) = default;
};
