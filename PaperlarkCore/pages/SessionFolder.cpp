#include "pages/SessionFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

QString SessionFolder::folderName(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

SessionFolder::SessionFolder() : SessionFolder(defaultCacheRoot()) {}

SessionFolder::SessionFolder(const QString& cacheRoot)
    : cacheRoot_(QDir::cleanPath(QDir::current().absoluteFilePath(cacheRoot))),
      id_(QUuid::createUuid()), path_(QDir(cacheRoot_).filePath(folderName(id_))),
      url_(QUrl::fromLocalFile(path_)) {}

SessionFolder::SessionFolder(const QString& cacheRoot, const QUuid& id)
    : cacheRoot_(QDir::cleanPath(QDir::current().absoluteFilePath(cacheRoot))), id_(id),
      path_(QDir(cacheRoot_).filePath(folderName(id_))), url_(QUrl::fromLocalFile(path_)) {}

QString SessionFolder::defaultCacheRoot() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty()) {
        base = QDir(QDir::homePath()).filePath(QStringLiteral(".cache"));
    }
    return QDir::cleanPath(QDir(base).filePath(QStringLiteral("Paperlark")));
}

void SessionFolder::create() const {
    QDir().mkpath(QFileInfo(cacheRoot_).path());
    if (!QFileInfo::exists(cacheRoot_)) {
        QDir().mkdir(cacheRoot_, ownerOnly);
    }
    if (!QFileInfo::exists(path_)) {
        const QString staging = QDir(cacheRoot_).filePath(u'.' + folderName(id_));
        if (QDir().mkdir(staging, ownerOnly)) {
            auto lock = SessionLock::acquire(staging);
            if (lock && std::rename(QFile::encodeName(staging).constData(),
                                    QFile::encodeName(path_).constData()) == 0) {
                lock_ = std::move(lock);
                recorded_.reset();
            } else {
                QDir(staging).removeRecursively();
            }
        }
        if (!QFileInfo::exists(path_)) {
            QDir().mkdir(path_, ownerOnly);
        }
    }
    if (!lock_ && QFileInfo(path_).isDir() && !QFileInfo(path_).isSymLink()) {
        lock_ = SessionLock::acquire(path_);
    }
}

void SessionFolder::release() const {
    waitForRecords();
    lock_.reset();
}

bool SessionFolder::waitForRecords() const {
    if (writer_ && !writer_->wait()) {
        recorded_.reset(); // the next record writes again
        return false;
    }
    return true;
}

void SessionFolder::recordPagesInBackground(
    const QList<std::shared_ptr<ScannedPage>>& pages) const {
    SessionManifest manifest = SessionManifest::of(pages, path_, QDateTime::currentDateTimeUtc());
    if (recorded_ && *recorded_ == manifest.pages && !(writer_ && writer_->lastFailed())) {
        return;
    }
    if (!writer_) {
        writer_ = std::make_unique<ManifestWriter>(path_);
    }
    recorded_ = manifest.pages;
    writer_->write(std::move(manifest));
}

bool SessionFolder::recordPages(const QList<std::shared_ptr<ScannedPage>>& pages) const {
    waitForRecords();
    SessionManifest manifest = SessionManifest::of(pages, path_, QDateTime::currentDateTimeUtc());
    if (recorded_ && *recorded_ == manifest.pages) {
        return true;
    }
    const QFileInfo folder(path_);
    if (!folder.isDir() || folder.isSymLink() || !manifest.write(path_)) {
        return false;
    }
    recorded_ = std::move(manifest.pages);
    return true;
}

bool SessionFolder::remove() const {
    // Removal is recursive, so it must never reach anything but the folder
    // this object names: <cache root>/<our UUID>, a real folder (not a link
    // to somewhere else) owned by this user, inside the cache root.
    if (id_.isNull() || cacheRoot_.isEmpty() || !QDir::isAbsolutePath(cacheRoot_)) {
        return false;
    }
    const QString expected = QDir::cleanPath(cacheRoot_ + u'/' + folderName(id_));
    const QString path = QDir::cleanPath(path_);
    if (path != expected) {
        return false;
    }
    const QFileInfo folder(path);
    if (folder.isSymLink() || !folder.isDir() || folder.ownerId() != ::getuid()) {
        return false;
    }
    const QString parent = QFileInfo(folder.absolutePath()).canonicalFilePath();
    const QString root = QFileInfo(cacheRoot_).canonicalFilePath();
    if (parent.isEmpty() || parent != root) {
        return false;
    }
    if (QFileInfo(folder.canonicalFilePath()).absolutePath() != root) {
        return false;
    }
    // A manifest still waiting would only be removed with the folder.
    if (writer_) {
        writer_->discardWaiting();
        recorded_.reset();
    }
    const bool removed = QDir(path).removeRecursively();
    if (removed) {
        lock_.reset();
        recorded_.reset();
    }
    return removed;
}
