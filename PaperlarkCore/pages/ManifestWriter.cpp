#include "pages/ManifestWriter.h"

#include <QFileInfo>

#include <utility>

ManifestWriter::ManifestWriter(QString folder)
    : folder_(std::move(folder)), thread_([this] { run(); }) {}

ManifestWriter::~ManifestWriter() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ManifestWriter::write(SessionManifest manifest) {
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(manifest);
    }
    changed_.notify_all();
}

bool ManifestWriter::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !waiting_ && !writing_; });
    return !failed_;
}

void ManifestWriter::discardWaiting() {
    std::unique_lock lock(mutex_);
    waiting_.reset();
    changed_.wait(lock, [this] { return !writing_; });
}

bool ManifestWriter::lastFailed() const {
    const std::lock_guard lock(mutex_);
    return failed_;
}

void ManifestWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return waiting_ || ending_; });
        if (!waiting_) {
            return; // ending, with nothing left to write
        }
        const SessionManifest manifest = *std::exchange(waiting_, std::nullopt);
        writing_ = true;
        lock.unlock();
        const QFileInfo folder(folder_);
        const bool written = folder.isDir() && !folder.isSymLink() && manifest.write(folder_);
        lock.lock();
        writing_ = false;
        failed_ = !written;
        changed_.notify_all();
    }
}
