#pragma once

#include "pages/ManifestWriter.h"
#include "pages/ScannedPage.h"
#include "pages/SessionLock.h"
#include "pages/SessionManifest.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

// This run's private folder for page cache files and scanner output:
// <cache root>/<UUID in upper case>, the cache root being ~/.cache/Paperlark
// unless given. The path is fixed for the life of the object; the folder
// itself may be created and removed any number of times.
//
// While the folder exists this object holds its lock (SessionLock), so that
// no other instance takes it for the folder of a session that ended without
// cleaning up; and it keeps the folder's manifest (SessionManifest) in step
// with the page list it is given. The lock and the record of what was last
// written are the object's own bookkeeping, not part of its value, and may
// change in const operations like the folder itself.
class SessionFolder {
public:
    // A new UUID under the per-user cache root, as that root is now.
    SessionFolder();
    // A new UUID under `cacheRoot` (made absolute and clean).
    explicit SessionFolder(const QString& cacheRoot);
    // The folder of session `id` under `cacheRoot`, which may be another
    // run's (to remove it with the same checks as this run's own).
    SessionFolder(const QString& cacheRoot, const QUuid& id);

    // ~/.cache/Paperlark (following XDG_CACHE_HOME).
    static QString defaultCacheRoot();

    const QString& cacheRoot() const { return cacheRoot_; }
    const QUuid& id() const { return id_; }
    const QString& path() const { return path_; }
    const QUrl& url() const { return url_; }

    // Creates the cache root's parent, the cache root and the folder when
    // missing; the root and the folder private to the user (mode 0700), and
    // takes the folder's lock. A new folder is made under a hidden name and
    // renamed into place with its lock already held, so no other instance
    // ever sees it unlocked. Failures are left alone: whoever writes into the
    // folder reports them.
    void create() const;

    // Whether this object holds the folder's lock.
    bool isLocked() const { return lock_.has_value(); }
    // Lets go of the lock and leaves the folder as it is, for a later run to
    // offer its pages back (once the manifests handed over are written).
    void release() const;

    // Writes the manifest of `pages` into the folder when it differs from the
    // one last written (the selection and such do not count). False when the
    // folder is missing or the write failed; the previous manifest then
    // stays, and the next call tries again. Waits for the background writes
    // below first.
    bool recordPages(const QList<std::shared_ptr<ScannedPage>>& pages) const;
    // The same, written on a thread of its own (see ManifestWriter): returns
    // at once, and the manifests reach the disk in the order given. Used
    // while the user works, so that the window never waits for the disk.
    void recordPagesInBackground(const QList<std::shared_ptr<ScannedPage>>& pages) const;
    // Waits until the manifests handed over are on disk; false when the last
    // write failed.
    bool waitForRecords() const;

    // Removes the folder and everything in it, but only while it is still
    // this run's folder: a real folder (not a link) owned by this user,
    // directly inside the resolved cache root. Returns whether it was
    // removed; false also when it did not exist. The lock goes with it.
    bool remove() const;

    // The text form of a session id, which names its folder: upper case,
    // without braces.
    static QString folderName(const QUuid& id);

private:
    QString cacheRoot_;
    QUuid id_;
    QString path_;
    QUrl url_;
    mutable std::optional<SessionLock> lock_;
    // The entries last written or handed over for writing.
    mutable std::optional<QList<SessionManifest::Entry>> recorded_;
    // Made on the first background write; ends (writing what waits) before
    // the lock goes.
    mutable std::unique_ptr<ManifestWriter> writer_;
};
