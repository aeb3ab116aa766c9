#include "scanning/worker/WorkerPageFile.h"

#include "pages/FileDescriptor.h"
#include "pages/ImageHeader.h"
#include "pages/PageRule.h"
#include "pages/PageSummary.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QUuid>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Refusal = WorkerPageFile::Refusal;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A regular file of this user with no other name, of a size a page can have.
bool isOwnSingleFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == ::getuid() &&
           info.st_size > 0 && info.st_size <= WorkerPageFile::maxFileBytes;
}

// All `size` bytes of an open file, when it holds exactly that many.
std::optional<QByteArray> readWhole(int fd, qint64 size) {
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < size) {
        const ssize_t got = ::pread(fd, bytes.data() + filled, std::size_t(size - filled), filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        filled += got;
    }
    char more = 0;
    if (::pread(fd, &more, 1, size) != 0) {
        return std::nullopt; // still being written: not a finished page
    }
    return bytes;
}

// A JPEG that runs to its end marker, of a size and resolution a page may
// have. (Its pixels are decoded when it becomes a page.)
bool isWholeJpeg(const QByteArray& bytes) {
    if (!bytes.startsWith(QByteArrayView("\xFF\xD8\xFF", 3))) {
        return false;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return false;
    }
    const ImageHeader header = ImageHeader::parse(buffer);
    if (!header.complete || !PageRule::resolution(header.dpi, 0) || !buffer.seek(0)) {
        return false;
    }
    QImageReader reader(&buffer, "jpeg");
    return reader.canRead() && PageRule::fitsSize(reader.size());
}

} // namespace

bool WorkerPageFile::isWorkerName(const QString& baseName, const QString& name) {
    const QRegularExpression form(QStringLiteral("^") + QRegularExpression::escape(baseName) +
                                  QStringLiteral("-[1-9][0-9]{0,9}\\.(png|jpg)$"));
    return !baseName.isEmpty() && form.match(name).hasMatch() && !PageRule::isCacheFileName(name);
}

Result<QUrl, Refusal> WorkerPageFile::adopt(const QString& folder, const QString& baseName,
                                            const QString& announced) {
    // The name, as text: directly inside the folder, of the worker's form.
    const QString home = QDir::cleanPath(folder);
    const QString prefix = home + u'/';
    const QString name = announced.mid(prefix.size());
    if (home.isEmpty() || !announced.startsWith(prefix) || name.contains(u'/') ||
        !isWorkerName(baseName, name)) {
        return Refusal::name;
    }
    const FileDescriptor directory(::open(QFile::encodeName(home).constData(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.isOpen()) {
        return Refusal::unusable;
    }
    const int dir = directory.get();
    const QByteArray entry = QFile::encodeName(name);

    // What the name stands for, before anything is opened: a link, a pipe
    // or a file with another name never is.
    struct stat named {};
    if (::fstatat(dir, entry.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !isOwnSingleFile(named)) {
        return Refusal::notOwnFile;
    }
    const FileDescriptor file(::openat(dir, entry.constData(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat opened {};
    if (!file.isOpen() || ::fstat(file.get(), &opened) != 0 || !sameFile(named, opened) ||
        !isOwnSingleFile(opened)) {
        return Refusal::notOwnFile;
    }

    // From here on: what was opened.
    const bool png = name.endsWith(QStringLiteral(".png"));
    {
        std::optional<QByteArray> bytes = readWhole(file.get(), opened.st_size);
        if (!bytes || (png ? !PageSummary::verified(std::move(*bytes)) : !isWholeJpeg(*bytes))) {
            return Refusal::content;
        }
    }

    // A name of our own for what was opened: a link to the open file itself
    // (through /proc), or where there is no /proc a rename of the worker's
    // name, undone unless it moved what was opened.
    const QString own = QStringLiteral("scan_") +
                        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                        (png ? QStringLiteral(".png") : QStringLiteral(".jpg"));
    const QByteArray ownEntry = QFile::encodeName(own);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.get());
    struct stat now {};
    if (::linkat(AT_FDCWD, self.constData(), dir, ownEntry.constData(), AT_SYMLINK_FOLLOW) == 0) {
        // The worker's name goes, unless it now stands for something else.
        if (::fstatat(dir, entry.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(now, opened) || ::unlinkat(dir, entry.constData(), 0) != 0) {
            ::unlinkat(dir, ownEntry.constData(), 0);
            return Refusal::notOwnFile;
        }
    } else if (::renameat2(dir, entry.constData(), dir, ownEntry.constData(), RENAME_NOREPLACE) ==
               0) {
        if (::fstatat(dir, ownEntry.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(now, opened)) {
            ::renameat2(dir, ownEntry.constData(), dir, entry.constData(), RENAME_NOREPLACE);
            return Refusal::notOwnFile;
        }
    } else {
        return Refusal::unusable;
    }
    // Still the one name of that file: ours.
    if (::fstat(file.get(), &now) != 0 || now.st_nlink != 1) {
        ::unlinkat(dir, ownEntry.constData(), 0);
        return Refusal::notOwnFile;
    }
    FileDescriptor::sync(dir);
    return QUrl::fromLocalFile(prefix + own);
}
