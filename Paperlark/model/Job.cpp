#include "model/Job.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace JobDetail {

void Core::cancel() {
    cancelled_ = true;
    over_ = true;
}

void Core::workStarts() {
    const std::lock_guard lock(mutex_);
    working_ = true;
}

void Core::workEnded() {
    {
        const std::lock_guard lock(mutex_);
        working_ = false;
    }
    workDone_.notify_all();
}

void Core::waitForWork() {
    std::unique_lock lock(mutex_);
    workDone_.wait(lock, [this] { return !working_; });
}

void Core::post(std::shared_ptr<Core> self) {
    // The application object lives on the GUI thread for as long as events
    // are handled; the receiver is looked at only there.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [self = std::move(self)] { self->deliver(); },
        Qt::QueuedConnection);
}

} // namespace JobDetail
