#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>

// This run's private folder for page cache files and scanner output:
// <cache root>/<UUID in upper case>, the cache root being ~/.cache/Paperlark
// unless given. The path is fixed for the life of the object; the folder
// itself may be created and removed any number of times.
class SessionFolder {
public:
    // A new UUID under the per-user cache root, as that root is now.
    SessionFolder();
    // A new UUID under `cacheRoot` (made absolute and clean).
    explicit SessionFolder(const QString& cacheRoot);

    // ~/.cache/Paperlark (following XDG_CACHE_HOME).
    static QString defaultCacheRoot();

    const QString& cacheRoot() const { return cacheRoot_; }
    const QUuid& id() const { return id_; }
    const QString& path() const { return path_; }
    const QUrl& url() const { return url_; }

    // Creates the cache root's parent, the cache root and the folder when
    // missing; the root and the folder private to the user (mode 0700).
    // Failures are left alone: whoever writes into the folder reports them.
    void create() const;

    // Removes the folder and everything in it, but only while it is still
    // this run's folder: a real folder (not a link) owned by this user,
    // directly inside the resolved cache root. Returns whether it was
    // removed; false also when it did not exist.
    bool remove() const;

private:
    QString cacheRoot_;
    QUuid id_;
    QString path_;
    QUrl url_;
};
