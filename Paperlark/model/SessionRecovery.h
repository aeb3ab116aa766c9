#pragma once

#include "pages/ScannedPage.h"
#include "pages/SessionLock.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <memory>
#include <vector>

class SessionFolder;

// Sessions that ended without cleaning up (a crash, a power cut, a killed
// process), found among the other folders of the cache root, and their
// restoring or discarding.
//
// A folder is looked at only when it is a real folder (not a link) of this
// user, named after a session id, whose lock nobody holds; it stays locked
// by us from then on, until it is restored, discarded or let go. Its
// manifest names its pages; a page counts only when its file is a page file
// of this user with no other name that decodes in full (see
// SessionManifest). Folders with at least one such page are offered; folders
// with nothing of their own (nothing but the lock, the manifest and temporary
// files; or, when the manifest lists no page, those and page files taken off
// the list) are removed; every other folder is left exactly as it is.
//
// Nothing the manifest names is lost on the way: a page file that was not
// offered (it did not check out, or its entry was refused) or could not be
// moved stays in its folder, which then stays too; and a page id that
// another page already has is replaced by a new one rather than dropped.
class SessionRecovery {
public:
    struct Page {
        QUuid id;
        QString file; // bare name in the session's folder
        double dpi = 0;
        QSizeF pixelSize;
        QImage thumbnail;
        int cacheTurns = 0; // see ScannedPage::cacheTurns
        // The page's text layer lies beside its file, and checks out (see
        // SessionManifest::readTextLayerFile).
        bool text = false;
    };

    struct Session {
        QUuid id;
        QString path;
        QDateTime changed;
        std::vector<Page> pages;
        std::shared_ptr<SessionLock> lock;
        // The page files in the folder that discard() leaves where they are:
        // those the manifest names but that were not offered, and, once
        // restore() has run, the offered ones it could not move. Shared, so
        // that restore() can add to it.
        std::shared_ptr<QSet<QString>> kept = std::make_shared<QSet<QString>>();
    };

    // The restorable sessions under `cacheRoot` other than `own`, newest
    // first; removes the empty ones on the way. May run on any thread.
    static std::vector<Session> find(const QString& cacheRoot, const QUuid& own);

    // "Paperlark closed before these pages were saved. Restore N page(s)
    // from <date and time of the last change>?"
    static QString question(const Session& session);

    // Moves the session's page files, with their text layers, into `into`
    // (this run's folder, whose page list is `current`) and returns the
    // pages made of them, in their recorded order; a page whose id is
    // already taken (in `current`, or by an earlier page of the session) gets
    // a new one. First records `current` and the restored pages in the
    // manifest of `into`: nothing moves when that fails. Pages whose file can
    // no longer be moved are left out (and kept in the session's folder); a
    // page whose text layer cannot be moved comes without it. The caller adds the pages to its list
    // and then discards the session.
    static QList<std::shared_ptr<ScannedPage>>
    restore(const Session& session, const SessionFolder& into,
            const QList<std::shared_ptr<ScannedPage>>& current);

    // Removes the session's page files, except those it keeps (see Session),
    // and page files its manifest does not name (taken off the list); then,
    // when nothing else is left but the lock, the manifest and temporary
    // files, the folder itself (with the same checks as this run's own
    // clean-up). Anything else (a kept page, a file a scanner delivered)
    // keeps the folder and its manifest as they are, for a later start.
    static void discard(const Session& session, const QString& cacheRoot);
};
