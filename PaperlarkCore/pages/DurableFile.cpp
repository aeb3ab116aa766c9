#include "pages/DurableFile.h"

#include "pages/FileDescriptor.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char temporarySuffix[] = ".XXXXXX";

DurableFile::CommitHook commitHook = nullptr;

} // namespace

DurableFile::DurableFile(QString path) : path_(std::move(path)) {
    const QFileInfo target(path_);
    if (target.fileName().isEmpty()) {
        return;
    }
    QByteArray pattern =
        QFile::encodeName(target.dir().filePath(u'.' + target.fileName())) + temporarySuffix;
    // Created exclusively, private to the user (0600), closed on exec.
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    temporaryPath_ = QFile::decodeName(pattern);
    if (!file_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        discardTemporary();
    }
}

DurableFile::~DurableFile() {
    if (file_.isOpen()) {
        file_.close();
    }
    discardTemporary();
}

void DurableFile::discardTemporary() {
    if (!temporaryPath_.isEmpty()) {
        ::unlink(QFile::encodeName(temporaryPath_).constData());
        temporaryPath_.clear();
    }
}

bool DurableFile::commit() {
    if (!file_.isOpen() || temporaryPath_.isEmpty()) {
        return false;
    }
    const bool written = file_.flush() && file_.error() == QFileDevice::NoError &&
                         FileDescriptor::sync(file_.handle());
    file_.close();
    if (!written || file_.error() != QFileDevice::NoError) {
        discardTemporary();
        return false;
    }
    if (commitHook != nullptr) {
        commitHook(path_, false);
    }
    if (::rename(QFile::encodeName(temporaryPath_).constData(),
                 QFile::encodeName(path_).constData()) != 0) {
        discardTemporary();
        return false;
    }
    temporaryPath_.clear();
    if (commitHook != nullptr) {
        commitHook(path_, true);
    }
    // The file is in place now, whatever follows: a folder that cannot be
    // synced (which the file system reports only for I/O errors) leaves the
    // rename to the next writeback.
    syncFolder(QFileInfo(path_).absolutePath());
    return true;
}

bool DurableFile::write(const QString& path, const QByteArray& bytes) {
    DurableFile file(path);
    return file.isOpen() && file.device().write(bytes) == bytes.size() && file.commit();
}

bool DurableFile::syncFolder(const QString& folder) {
    const FileDescriptor fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && FileDescriptor::sync(fd.get());
}

void DurableFile::setCommitHook(CommitHook hook) {
    commitHook = hook;
}

bool DurableFile::isTemporaryName(const QString& name) {
    const qsizetype suffix = qsizetype(sizeof temporarySuffix) - 1;
    return name.startsWith(u'.') && name.size() > suffix + 1 && name[name.size() - suffix] == u'.';
}
