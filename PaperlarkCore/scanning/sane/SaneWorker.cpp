#include "scanning/sane/SaneWorker.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

SaneWorker::SaneWorker(QObject* guiContext) : gui_(guiContext) {}

void SaneWorker::enqueue(Job job) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void SaneWorker::postToGui(std::function<void()> fn) {
    const std::lock_guard lock(mutex_);
    if (!gui_) {
        return;
    }
    std::weak_ptr<SaneWorker> self = weak_from_this();
    QMetaObject::invokeMethod(
        gui_,
        [self, fn = std::move(fn)] {
            const auto worker = self.lock();
            if (!worker) {
                return;
            }
            {
                const std::lock_guard lock(worker->mutex_);
                if (!worker->gui_) {
                    return;
                }
            }
            fn();
        },
        Qt::QueuedConnection);
}

void SaneWorker::requestStop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    cancelActiveHandle();
    wake_.notify_one();
}

bool SaneWorker::stopping() const {
    const std::lock_guard lock(mutex_);
    return stopping_;
}

void SaneWorker::cancelActiveHandle() {
    const std::lock_guard lock(mutex_);
    if (active_) {
        sane_cancel(active_);
    }
}

std::optional<std::chrono::milliseconds> SaneWorker::blockedFor() const {
    const std::int64_t started = callStarted_.load();
    if (started == 0) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(now() - started);
}

void SaneWorker::detachGui() {
    const std::lock_guard lock(mutex_);
    gui_ = nullptr;
}

void SaneWorker::run() {
    SANE_Int version = 0;
    initialised_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                break;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job(*this);
    }
    if (initialised_) {
        sane_exit();
        initialised_ = false;
    }
}

void SaneWorker::handleOpened(SANE_Handle handle) {
    const std::lock_guard lock(mutex_);
    active_ = handle;
}

void SaneWorker::handleClosing(SANE_Handle handle) {
    const std::lock_guard lock(mutex_);
    if (active_ == handle) {
        active_ = nullptr;
    }
}

void SaneWorker::callStarted() {
    callStarted_.store(std::max<std::int64_t>(now(), 1));
}

void SaneWorker::callFinished() {
    callStarted_.store(0);
}

std::int64_t SaneWorker::now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
