#pragma once

#include "pages/ScannedPage.h"

#include <QList>
#include <QString>
#include <QUrl>

// A file that gave no page, and why.
struct ImportFailure {
    QUrl file;
    // The failure's own sentence: "Could not read the image at a.png."
    QString description;
    // Why, in a few words: "not found", "no permission", "not an image or
    // damaged", or the description when it says more (the cache folder
    // could not be made, say).
    QString reason;

    // The failure of making a page of `file`, with the reason read from the
    // file system as it is now.
    static ImportFailure of(const QUrl& file, const ScannedPage::Failure& failure);

    // The alert for files that gave no page: one failure's own sentence, or
    // for several "N file(s) could not be added:" and a line per file (at
    // most `shown` of them, then how many more).
    static QString alertText(const QList<ImportFailure>& failures, int shown = 10);
};
