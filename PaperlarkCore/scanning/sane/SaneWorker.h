#pragma once

#include <sane/sane.h>

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The state shared between the GUI thread and the one thread that makes every
// SANE call: the job queue, the way back to the GUI thread, and what another
// thread needs to interrupt a blocked call (the open handle and how long the
// current blocking call has taken).
class SaneWorker : public std::enable_shared_from_this<SaneWorker> {
public:
    using Job = std::function<void(SaneWorker&)>;

    explicit SaneWorker(QObject* guiContext);

    SaneWorker(const SaneWorker&) = delete;
    SaneWorker& operator=(const SaneWorker&) = delete;

    // ---- Any thread ----
    void enqueue(Job job);
    // Runs fn on the GUI thread, later, unless the GUI side has detached by then.
    void postToGui(std::function<void()> fn);
    // Drops queued jobs, interrupts the running one and ends run().
    void requestStop();
    bool stopping() const;
    // sane_cancel on the open handle, if any: makes a blocked sane_start or
    // sane_read return.
    void cancelActiveHandle();
    // How long the blocking call in progress has been running, if one is.
    std::optional<std::chrono::milliseconds> blockedFor() const;

    // ---- GUI thread ----
    void detachGui();

    // ---- Worker thread ----
    // sane_init, then jobs until requestStop(), then sane_exit.
    void run();
    bool initialised() const { return initialised_; }
    void handleOpened(SANE_Handle handle);
    void handleClosing(SANE_Handle handle);
    // Brackets one call that may block for long (sane_start, sane_read).
    void callStarted();
    void callFinished();

private:
    static std::int64_t now();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    // Deleted only after detachGui(), so it is valid whenever it is set.
    QObject* gui_ = nullptr;
    SANE_Handle active_ = nullptr;
    bool initialised_ = false;
    // Start of the current blocking call in steady-clock milliseconds; 0 for none.
    std::atomic<std::int64_t> callStarted_{0};
};
