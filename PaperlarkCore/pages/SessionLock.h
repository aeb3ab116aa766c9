#pragma once

#include <QString>

#include <optional>

// An exclusive lock (flock) on the lock file "session.lock" in a session
// folder, held for as long as the object lives: the running instance holds
// the lock of its own session folder, so that no other instance takes that
// folder for a session that ended without cleaning up. The lock goes with
// the process, however it ends.
class SessionLock {
public:
    static const QString fileName;

    // Takes the lock of `folder`, creating the lock file when missing.
    // Nothing when another process holds it, or when the lock file is not a
    // regular file of this user (a link, a pipe...) or cannot be made.
    static std::optional<SessionLock> acquire(const QString& folder);

    // Whether some other process holds the lock of `folder` now. Never
    // creates anything; a folder without a lock file is not locked.
    static bool isHeldElsewhere(const QString& folder);

    SessionLock(SessionLock&& other) noexcept;
    SessionLock& operator=(SessionLock&& other) noexcept;
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;
    ~SessionLock();

private:
    explicit SessionLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};
