#include "pages/SessionLock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

const QString SessionLock::fileName = QStringLiteral("session.lock");

namespace {

int openLockFile(const QString& folder, int flags) {
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(SessionLock::fileName));
    const int fd = ::open(path.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool lockNow(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

std::optional<SessionLock> SessionLock::acquire(const QString& folder) {
    const int fd = openLockFile(folder, O_RDWR | O_CREAT);
    if (fd < 0) {
        return std::nullopt;
    }
    if (!lockNow(fd)) {
        ::close(fd);
        return std::nullopt;
    }
    return SessionLock(fd);
}

bool SessionLock::isHeldElsewhere(const QString& folder) {
    const int fd = openLockFile(folder, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    const bool free = lockNow(fd);
    ::close(fd); // also lets go of the lock just taken
    return !free;
}

SessionLock::SessionLock(SessionLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SessionLock& SessionLock::operator=(SessionLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

SessionLock::~SessionLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}
