#pragma once

#include <QFile>
#include <QUrl>

// An output file created exclusively (O_EXCL): it never replaces anything
// already there, even a file that appears between choosing the name and
// creating it. Unless commit() succeeds, the file is removed again when the
// object goes away, so a failed write never leaves a partial file behind.
class NewFile {
public:
    enum class Status {
        created, // the file is new and open for writing
        exists,  // something is already there; nothing was touched
        failed,  // the file could not be created (permissions, missing folder...)
    };

    explicit NewFile(QUrl url);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    Status status() const { return status_; }
    const QUrl& url() const { return url_; }
    QIODevice& device() { return file_; }

    // Flushes and closes the file; false (and the file removed) when any
    // write failed.
    bool commit();

private:
    QUrl url_;
    QFile file_;
    Status status_ = Status::failed;
    bool committed_ = false;
};
