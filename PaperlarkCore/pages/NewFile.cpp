#include "pages/NewFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

NewFile::NewFile(QUrl url) : url_(std::move(url)) {
    if (!url_.isLocalFile()) {
        return;
    }
    const QByteArray path = QFile::encodeName(url_.toLocalFile());
    const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        status_ = errno == EEXIST ? Status::exists : Status::failed;
        return;
    }
    file_.setFileName(url_.toLocalFile());
    if (!file_.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        ::unlink(path.constData());
        return;
    }
    status_ = Status::created;
}

NewFile::~NewFile() {
    if (status_ == Status::created && !committed_) {
        file_.close();
        QFile::remove(url_.toLocalFile());
    }
}

bool NewFile::commit() {
    if (status_ != Status::created || committed_) {
        return committed_;
    }
    const bool flushed = file_.flush();
    file_.close();
    committed_ = flushed && file_.error() == QFileDevice::NoError;
    return committed_;
}
