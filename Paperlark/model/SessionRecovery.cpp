#include "model/SessionRecovery.h"

#include "pages/DocumentSaver.h"
#include "pages/DurableFile.h"
#include "pages/ImageFile.h"
#include "pages/PageRule.h"
#include "pages/SessionFolder.h"
#include "pages/SessionManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A real folder (not a link) of this user.
bool isOwnFolder(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid();
}

bool isSessionName(const QString& name) {
    const QUuid id = QUuid::fromString(name);
    return !id.isNull() && SessionFolder::folderName(id) == name;
}

// ".<UUID>": a session folder being set up, before it is renamed into place.
bool isStagingName(const QString& name) {
    return name.startsWith(u'.') && isSessionName(name.mid(1));
}

// The lock file, the manifest and temporary files.
bool isBookkeeping(const QString& name) {
    return name == SessionLock::fileName || name == SessionManifest::fileName ||
           DurableFile::isTemporaryName(name);
}

// Whether every entry of the folder is one that `allowed` accepts.
template <typename Allowed> bool holdsOnly(const QString& path, Allowed allowed) {
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return std::all_of(names.cbegin(), names.cend(), allowed);
}

// An empty session folder: nothing but bookkeeping; or, when its manifest
// lists no page, nothing but bookkeeping and page files with their text
// layers (pages taken off the list, kept for an undo, say), as against files a scanner delivered
// before any page was listed.
bool isEmptySession(const QString& path, const std::optional<SessionManifest>& manifest) {
    if (holdsOnly(path, isBookkeeping)) {
        return true;
    }
    return manifest && manifest->pages.isEmpty() && manifest->rejected == 0 &&
           holdsOnly(path, [](const QString& name) {
               return isBookkeeping(name) || PageRule::isCacheFileName(name) ||
                      SessionManifest::isTextLayerFileName(name);
           });
}

// A session folder still being set up that nobody holds was left by an
// instance that ended between creating and renaming it; it never held a page.
// Only bookkeeping files are removed, one by one, so that anything else keeps
// the folder.
void removeAbandonedStaging(const QString& path) {
    const auto lock = SessionLock::acquire(path);
    if (!lock || !holdsOnly(path, isBookkeeping)) {
        return;
    }
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        ::unlink(QFile::encodeName(QDir(path).filePath(name)).constData());
    }
    ::rmdir(QFile::encodeName(path).constData());
}

// The page of a manifest entry when its file checks out and decodes, turned
// as the entry says. Earlier versions rotated a page kept as JPEG into the PNG
// of the same name; one killed after writing that PNG but before the manifest
// named it left the finished PNG (already turned) beside the JPEG: that is
// the page, unless another entry names that PNG (it is then that page's).
std::optional<SessionRecovery::Page> readablePage(const QString& folder,
                                                  const SessionManifest::Entry& entry,
                                                  const QSet<QString>& listed) {
    const QString rotated =
        ScannedPage::rotatedCacheURL(QUrl::fromLocalFile(QDir(folder).filePath(entry.file)))
            .fileName();
    QStringList candidates{entry.file};
    if (rotated != entry.file && !listed.contains(rotated)) {
        candidates.prepend(rotated);
    }
    for (const QString& file : std::as_const(candidates)) {
        const auto bytes = SessionManifest::readPageFile(folder, file);
        if (!bytes) {
            continue;
        }
        const auto decoded =
            ImageFile::decode(*bytes, QUrl::fromLocalFile(QDir(folder).filePath(file)), entry.dpi);
        if (!decoded) {
            continue;
        }
        const bool own = file == entry.file; // not the rotated file of an earlier version
        const int turns = own ? entry.turns : 0;
        const auto image = ImageFile::rotate(decoded.value().image, turns);
        if (!image) {
            continue;
        }
        return SessionRecovery::Page{
            entry.id,
            file,
            entry.dpi,
            QSizeF(image.value().size()),
            ScannedPage::makeThumbnail(image.value()),
            turns,
            own && entry.text && SessionManifest::readTextLayerFile(folder, file).has_value()};
    }
    return std::nullopt;
}

// Moves `from` to `to` when it is still a single-named regular file of ours
// (as it was when checked); never over anything.
bool moveOwnFile(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    struct stat info {};
    return ::lstat(source.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == ::getuid() && info.st_nlink == 1 &&
           ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE) == 0;
}

} // namespace

std::vector<SessionRecovery::Session> SessionRecovery::find(const QString& cacheRoot,
                                                            const QUuid& own) {
    std::vector<Session> sessions;
    if (!isOwnFolder(cacheRoot)) {
        return sessions;
    }
    const QStringList names =
        QDir(cacheRoot).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = QDir(cacheRoot).filePath(name);
        if (isStagingName(name) && isOwnFolder(path)) {
            removeAbandonedStaging(path);
            continue;
        }
        if (!isSessionName(name) || QUuid::fromString(name) == own || !isOwnFolder(path)) {
            continue;
        }
        auto lock = SessionLock::acquire(path);
        if (!lock) {
            continue; // in use by a running instance, or not ours to judge
        }
        const SessionFolder folder(cacheRoot, QUuid::fromString(name));
        const auto manifest = SessionManifest::read(path);
        if (isEmptySession(path, manifest)) {
            folder.remove(); // nothing, or every page had been taken off the list
            continue;
        }
        if (!manifest) {
            continue;
        }
        Session session{folder.id(),
                        path,
                        manifest->changed,
                        {},
                        std::make_shared<SessionLock>(std::move(*lock))};
        QSet<QString> listed;
        for (const SessionManifest::Entry& entry : manifest->pages) {
            listed.insert(entry.file);
        }
        // Files the manifest names that are not offered stay where they are.
        for (const QString& file : manifest->rejectedFiles) {
            session.kept->insert(file);
        }
        for (const SessionManifest::Entry& entry : manifest->pages) {
            if (auto page = readablePage(path, entry, listed)) {
                session.pages.push_back(std::move(*page));
            } else {
                session.kept->insert(entry.file);
                session.kept->insert(ScannedPage::rotatedCacheURL(
                                         QUrl::fromLocalFile(QDir(path).filePath(entry.file)))
                                         .fileName());
            }
        }
        if (!session.pages.empty()) {
            sessions.push_back(std::move(session));
        }
    }
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const Session& a, const Session& b) { return a.changed > b.changed; });
    return sessions;
}

QString SessionRecovery::question(const Session& session) {
    const QString when =
        DocumentSaver::formatDate(QStringLiteral("d MMM yyyy 'at' HH:mm"), session.changed)
            .value_or(session.changed.toString(Qt::ISODate));
    return QStringLiteral("Paperlark closed before these pages were saved. Restore %1 page(s) "
                          "from %2?")
        .arg(session.pages.size())
        .arg(when);
}

QList<std::shared_ptr<ScannedPage>>
SessionRecovery::restore(const Session& session, const SessionFolder& into,
                         const QList<std::shared_ptr<ScannedPage>>& current) {
    // The pages with the names their files will have in this run's folder,
    // and ids of their own: a session copied back from a backup, say, holds
    // the ids of pages already in the list.
    QSet<QUuid> ids;
    for (const auto& page : current) {
        ids.insert(page->id());
    }
    QList<std::shared_ptr<ScannedPage>> planned;
    QStringList sources;
    for (const Page& page : session.pages) {
        QString name = page.file;
        if (QFileInfo::exists(QDir(into.path()).filePath(name))) {
            name = ScannedPage::makeCacheFileName(u'.' + QFileInfo(name).suffix());
        }
        const QUuid id = ids.contains(page.id) ? QUuid::createUuid() : page.id;
        ids.insert(id);
        const QUrl url = QUrl::fromLocalFile(QDir(into.path()).filePath(name));
        planned.append(std::make_shared<ScannedPage>(
            id, url, page.pixelSize, page.dpi, page.thumbnail, std::nullopt, page.cacheTurns,
            page.text ? ScannedPage::textLayerURLFor(url) : QUrl()));
        sources.append(page.file);
    }
    // This run's manifest names the pages before their files move: a crash
    // half-way leaves each file in one of the two folders, each listed by
    // that folder's manifest, so every page can still be offered.
    if (!into.recordPages(current + planned)) {
        return {};
    }
    QList<std::shared_ptr<ScannedPage>> moved;
    for (qsizetype i = 0; i < planned.size(); ++i) {
        const std::shared_ptr<ScannedPage>& page = planned[i];
        const QString from = QDir(session.path).filePath(sources[i]);
        if (!moveOwnFile(from, page->cacheURL().toLocalFile())) {
            session.kept->insert(sources[i]); // it stays, and so does its folder
            continue;
        }
        const QUrl layer = page->textLayerURL();
        if (layer.isEmpty() ||
            moveOwnFile(ScannedPage::textLayerURLFor(QUrl::fromLocalFile(from)).toLocalFile(),
                        layer.toLocalFile())) {
            moved.append(page);
            continue;
        }
        moved.append(std::make_shared<ScannedPage>(page->id(), page->cacheURL(), page->pixelSize(),
                                                   page->dpi(), page->thumbnail(), std::nullopt,
                                                   page->cacheTurns()));
    }
    DurableFile::syncFolder(into.path());
    DurableFile::syncFolder(session.path);
    return moved;
}

void SessionRecovery::discard(const Session& session, const QString& cacheRoot) {
    const SessionFolder folder(cacheRoot, session.id);
    // Only the folder that was looked at, as it was: a real folder of ours.
    if (QDir::cleanPath(folder.path()) != QDir::cleanPath(session.path) ||
        !isOwnFolder(session.path)) {
        return;
    }
    const QDir dir(session.path);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (PageRule::isCacheFileName(name) && !session.kept->contains(name)) {
            ::unlink(QFile::encodeName(dir.filePath(name)).constData());
        }
    }
    if (holdsOnly(session.path, isBookkeeping)) {
        folder.remove();
    }
}
