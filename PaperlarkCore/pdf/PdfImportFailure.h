#pragma once

#include "pages/ScannedPage.h"

#include <QString>
#include <QUrl>

#include <optional>

// Why a PDF could not be added (in full), with the sentence the user sees.
struct PdfImportFailure {
    enum class Kind {
        passwordProtected, // "The PDF NAME is protected by a password."
        unreadable,        // "Could not read the PDF NAME."
        empty,             // "The PDF NAME has no pages."
        tooManyPages,      // more than `limit` pages
        readerMissing,     // the reader program cannot be run
        cancelled,         // the caller asked to stop
        page,              // pageFailure: a page could not be cached
    };
    Kind kind = Kind::unreadable;
    QUrl file;
    // tooManyPages: the most pages taken from one file.
    int limit = 0;
    // readerMissing: the program looked for.
    QString readerPath;
    std::optional<ScannedPage::Failure> pageFailure;

    // The file is named by its last path component only.
    QString description() const;
};
