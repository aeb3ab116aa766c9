#pragma once

#include "Result.h"

#include <QString>
#include <QUrl>

// The application's side of a page file the scanner worker says it wrote.
// The worker runs scanner drivers, which parse what devices and the network
// send them, so nothing it says is believed: not the path, not the file
// behind it, not the summary the file carries.
//
// The rule: a page file is taken on only when
//  - its name, as announced, is directly inside the scan's folder and of the
//    form the worker writes (base-N.png or base-N.jpg), which can never be
//    one of the application's own files (cache files, the manifest, the
//    lock, temporary files, files already taken on);
//  - it is, opened relative to the folder without following a link, a
//    regular file of this user with one name only (no symbolic or hard link
//    to anything elsewhere, no pipe or device), no larger than a page can be;
//  - its bytes, read from what was opened, are a whole page: a PNG whose
//    summary and size its own pixels bear out (PageSummary::verified), or a
//    JPEG that runs to its end, both within PageRule.
// It then gets a name of the application's own ("scan_<UUID>.png" or
// ".jpg") in the same folder, by a link to what was opened (or, where that
// cannot be, by a rename checked against it), and the worker's name goes.
// Nothing outside the folder is ever opened, read, moved or removed, and
// nothing in it but what was announced and checked.
class WorkerPageFile {
public:
    enum class Refusal {
        // Not a name of the worker's form directly inside the folder.
        name,
        // Not a regular file of this user with one name (a link of either
        // kind, a pipe, a folder, another user's file), or not there.
        notOwnFile,
        // Not a whole page in the worker's form, or a summary that lies.
        content,
        // The folder could not be read, or the file not taken on.
        unusable,
    };

    // The largest file a page can take.
    static constexpr qint64 maxFileBytes = qint64{1} << 30;

    // Takes on the page file `announced` of a scan into `folder` whose
    // files are named after `baseName`; the file URL of the application's
    // own file, or why the announcement was refused (the worker is then not
    // to be trusted any further). May run on any thread; reads the whole
    // file and decodes a PNG page.
    static Result<QUrl, Refusal> adopt(const QString& folder, const QString& baseName,
                                       const QString& announced);

    // Whether a name has the form of the worker's page files for `baseName`.
    static bool isWorkerName(const QString& baseName, const QString& name);
};
