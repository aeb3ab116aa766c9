#include "pages/SessionManifest.h"

#include "pages/DurableFile.h"
#include "pages/PageRule.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString SessionManifest::fileName = QStringLiteral("manifest.json");

namespace {

constexpr qsizetype maxDescription = 200;

QString text(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// The whole of a regular file of this user with no other name (no hard link
// to a file elsewhere), read without following a symbolic link and without
// blocking on a pipe; nothing for anything else.
std::optional<QByteArray> readOwnFile(const QString& path, qint64 limit) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid() ||
        info.st_nlink != 1 || info.st_size > limit) {
        return std::nullopt;
    }
    // A buffer of the file's own size, not of the limit: a session of small
    // pages must not reserve the limit for each of them.
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const qint64 got = file.read(bytes.data() + filled, bytes.size() - filled);
        if (got <= 0) {
            return std::nullopt; // shrunk meanwhile, or unreadable
        }
        filled += qsizetype(got);
    }
    char more = 0;
    if (file.read(&more, 1) != 0) {
        return std::nullopt; // grew meanwhile: not the file that was checked
    }
    return bytes;
}

} // namespace

SessionManifest SessionManifest::of(const QList<std::shared_ptr<ScannedPage>>& pages,
                                    const QString& folder, const QDateTime& changed) {
    SessionManifest manifest;
    manifest.changed = changed.toUTC();
    const QString home = QDir::cleanPath(folder);
    for (const auto& page : pages) {
        const QString path = page->cacheURL().toLocalFile();
        const QString name = QFileInfo(path).fileName();
        if (QDir::cleanPath(QFileInfo(path).absolutePath()) != home ||
            !PageRule::isCacheFileName(name)) {
            continue;
        }
        const bool text = !page->textLayerURL().isEmpty() &&
                          page->textLayerURL() == ScannedPage::textLayerURLFor(page->cacheURL());
        manifest.pages.append(
            {page->id(), name, page->dpi(), page->description(), page->cacheTurns(), text});
    }
    return manifest;
}

QByteArray SessionManifest::toJson() const {
    QJsonArray entries;
    bool turned = false;
    for (const Entry& entry : pages) {
        QJsonObject object{
            {"id", entry.id.toString(QUuid::WithoutBraces).toUpper()},
            {"file", entry.file},
            {"dpi", entry.dpi},
            {"description", entry.description},
        };
        if (entry.turns != 0) {
            object.insert("turns", entry.turns);
            turned = true;
        }
        if (entry.text) {
            object.insert("text", true);
        }
        entries.append(object);
    }
    return QJsonDocument(QJsonObject{{"version", turned ? currentVersion : unturnedVersion},
                                     {"changed", text(changed)},
                                     {"pages", entries}})
        .toJson(QJsonDocument::Indented);
}

std::optional<SessionManifest> SessionManifest::fromJson(const QByteArray& json) {
    if (json.size() > maxBytes) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    const QJsonValue version = root.value("version");
    if (!version.isDouble() ||
        (version.toDouble() != currentVersion && version.toDouble() != unturnedVersion) ||
        !root.value("pages").isArray() || !root.value("changed").isString()) {
        return std::nullopt;
    }
    SessionManifest manifest;
    manifest.changed = QDateTime::fromString(root.value("changed").toString(), Qt::ISODateWithMs);
    if (!manifest.changed.isValid()) {
        return std::nullopt;
    }
    manifest.changed = manifest.changed.toUTC();
    QSet<QUuid> ids;
    QSet<QString> files;
    for (const QJsonValue& value : root.value("pages").toArray()) {
        const QJsonObject object = value.toObject();
        QUuid id = QUuid::fromString(object.value("id").toString());
        const QString file = object.value("file").toString();
        const double dpi = object.value("dpi").toDouble(-1);
        const QString description = object.value("description").toString();
        // Turns only in version 2, and only whole quarter turns 0...3.
        const QJsonValue turnsValue = object.value("turns");
        const double turns = turnsValue.isUndefined() ? 0 : turnsValue.toDouble(-1);
        const bool turnsValid =
            turnsValue.isUndefined() || (version.toDouble() == currentVersion && turns >= 0 &&
                                         turns <= 3 && turns == std::floor(turns));
        if (!PageRule::isCacheFileName(file) || files.contains(file) ||
            !PageRule::fitsResolution(dpi) || description.size() > maxDescription || !turnsValid) {
            ++manifest.rejected;
            // (A file named twice is the earlier entry's.)
            if (PageRule::isCacheFileName(file) && !files.contains(file)) {
                manifest.rejectedFiles.append(file);
            }
            continue;
        }
        if (id.isNull() || ids.contains(id)) {
            id = QUuid::createUuid();
        }
        ids.insert(id);
        files.insert(file);
        manifest.pages.append(
            {id, file, dpi, description, int(turns), object.value("text").toBool(false)});
    }
    return manifest;
}

bool SessionManifest::write(const QString& folder) const {
    return DurableFile::write(QDir(folder).filePath(fileName), toJson());
}

std::optional<SessionManifest> SessionManifest::read(const QString& folder) {
    const auto bytes = readOwnFile(QDir(folder).filePath(fileName), maxBytes);
    return bytes ? fromJson(*bytes) : std::nullopt;
}

std::optional<QByteArray> SessionManifest::readPageFile(const QString& folder,
                                                        const QString& name) {
    if (!PageRule::isCacheFileName(name)) {
        return std::nullopt;
    }
    return readOwnFile(QDir(folder).filePath(name), maxPageFileBytes);
}

bool SessionManifest::isTextLayerFileName(const QString& name) {
    return name.endsWith(QStringLiteral(".pdf")) &&
           PageRule::isCacheFileName(name.chopped(4) + ".png");
}

QString SessionManifest::textLayerFileName(const QString& pageFile) {
    return PageRule::isCacheFileName(pageFile) ? pageFile.chopped(4) + QStringLiteral(".pdf")
                                               : QString();
}

std::optional<QByteArray> SessionManifest::readTextLayerFile(const QString& folder,
                                                             const QString& pageFile) {
    const QString name = textLayerFileName(pageFile);
    if (name.isEmpty()) {
        return std::nullopt;
    }
    auto bytes = readOwnFile(QDir(folder).filePath(name), TextLayer::maxBytes);
    if (!bytes || !bytes->startsWith("%PDF-")) {
        return std::nullopt;
    }
    return bytes;
}
