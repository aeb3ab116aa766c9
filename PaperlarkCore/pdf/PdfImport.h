#pragma once

#include "Result.h"
#include "pages/ScannedPage.h"
#include "pdf/PdfImportFailure.h"

#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// Adds the pages of a PDF file as pages of the session, one at a time, in
// order: each is read by a PDF reader process of its own (see
// PdfDocumentReader), checked, and cached in the cache folder. A page that
// is one scanned image becomes that image exactly (a JPEG keeps its bytes);
// any other page is drawn at 300 dpi. A page's invisible text comes along
// as its text layer (ScannedPage::textLayerURL).
//
// Nothing the reader says is trusted: sizes must agree with the bytes and
// with the image's own header, and stay within the limits of every output;
// a reader that breaks the protocol, dies or stays silent for the stall
// limit ends the import as unreadable, and a file with more than maxPages
// pages is refused before any page is read.
//
// run() blocks until the file is done: call it off the GUI thread. Memory
// stays near one page however many pages the file has.
class PdfImport {
public:
    struct Settings {
        QString readerPath;
        // How long the reader may take to answer one request (a page).
        std::chrono::milliseconds stallLimit{60000};
        int maxPages = 2000;

        // The installed reader (PdfReaderLocation) and the limits above.
        static Settings defaults();
    };

    struct Events {
        // The file is open and has this many pages (called before any page).
        std::function<void(int pageCount)> opened;
        // Page `number` (1-based) of `pageCount` is cached, called in page
        // order on the calling thread. The page belongs to the receiver.
        std::function<void(std::shared_ptr<ScannedPage> page, int number, int pageCount)> page;
    };

    // Reads `file` into pages cached in `cacheFolder` (created when
    // missing). Returns the number of pages added. On failure, the pages
    // already handed to events.page stay the receiver's; nothing else is
    // left in the cache folder. `cancel`, when raised, stops the import
    // (kind cancelled) within a fraction of a second.
    static Result<int, PdfImportFailure> run(const QUrl& file, const QUrl& cacheFolder,
                                             const Events& events,
                                             const std::atomic<bool>* cancel = nullptr,
                                             const Settings& settings = Settings::defaults());

    // Whether the file is a PDF by its content (the "%PDF-" header within
    // its first kilobyte, as PDF readers accept it).
    static bool isPdf(const QUrl& file);
};
