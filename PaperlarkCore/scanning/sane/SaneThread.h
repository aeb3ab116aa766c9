#pragma once

#include "scanning/sane/SaneWorker.h"

#include <QObject>

#include <future>
#include <memory>
#include <thread>

// The dedicated thread on which SANE lives: initialised once when the first
// user asks for it, exited when the last user lets go. Created and destroyed
// on the GUI thread.
class SaneThread {
public:
    // The one instance, created on first use and shared while anyone holds it.
    static std::shared_ptr<SaneThread> shared();

    SaneThread();
    // Drops queued jobs, interrupts a blocked call, waits for the thread to
    // close its handle and call sane_exit, and joins it.
    ~SaneThread();

    SaneThread(const SaneThread&) = delete;
    SaneThread& operator=(const SaneThread&) = delete;

    // Runs job on the SANE thread after the jobs posted before it.
    void post(SaneWorker::Job job) { worker_->enqueue(std::move(job)); }

    SaneWorker& worker() { return *worker_; }

private:
    std::unique_ptr<QObject> guiContext_;
    std::shared_ptr<SaneWorker> worker_;
    std::future<void> finished_;
    std::thread thread_;
};
