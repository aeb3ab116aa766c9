#pragma once

// An open POSIX file descriptor, closed with the object; -1 when an open
// failed.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int get() const { return fd_; }

    // Flushes a descriptor's file (or folder) to disk, retrying when
    // interrupted; false on any other failure.
    static bool sync(int fd);

private:
    int fd_;
};
