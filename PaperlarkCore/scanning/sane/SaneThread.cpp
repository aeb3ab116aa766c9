#include "scanning/sane/SaneThread.h"

#include <chrono>

namespace {

// A backend that does not return from a call even after sane_cancel must
// not keep the application from quitting: after this long the thread is
// left to the operating system.
constexpr auto shutdownGrace = std::chrono::seconds(15);

} // namespace

std::shared_ptr<SaneThread> SaneThread::shared() {
    static std::weak_ptr<SaneThread> instance;
    auto thread = instance.lock();
    if (!thread) {
        thread = std::make_shared<SaneThread>();
        instance = thread;
    }
    return thread;
}

SaneThread::SaneThread()
    : guiContext_(std::make_unique<QObject>()),
      worker_(std::make_shared<SaneWorker>(guiContext_.get())) {
    std::promise<void> finished;
    finished_ = finished.get_future();
    thread_ = std::thread([worker = worker_, finished = std::move(finished)]() mutable {
        worker->run();
        finished.set_value();
    });
}

SaneThread::~SaneThread() {
    worker_->requestStop();
    if (finished_.wait_for(shutdownGrace) == std::future_status::ready) {
        thread_.join();
    } else {
        thread_.detach();
    }
    worker_->detachGui();
    // The context may be the receiver of the event being delivered right
    // now, so it goes when control is back in the event loop.
    guiContext_.release()->deleteLater();
}
