#include "pages/SessionFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QString folderName(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

SessionFolder::SessionFolder() : SessionFolder(defaultCacheRoot()) {}

SessionFolder::SessionFolder(const QString& cacheRoot)
    : cacheRoot_(QDir::cleanPath(QDir::current().absoluteFilePath(cacheRoot))),
      id_(QUuid::createUuid()), path_(QDir(cacheRoot_).filePath(folderName(id_))),
      url_(QUrl::fromLocalFile(path_)) {}

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
        QDir().mkdir(path_, ownerOnly);
    }
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
    return QDir(path).removeRecursively();
}
