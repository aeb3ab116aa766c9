#pragma once

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// Background work with one outcome, handed back on the GUI thread.
//
// A job either runs a function on a worker thread (run()) or waits for an
// operation that reports by itself, from any thread, through the job's
// finisher (expect()). The function may report steps on the way (progress,
// or partial results such as the pages made so far) and ends with one
// result, a plain value: work that can fail returns a Result<T, Failure>.
//
// Steps and the result reach their handlers on the GUI thread, in the order
// they were made, and only while the receiver named at the start lives and
// the job has not been cancelled. Whatever is not delivered is destroyed
// undelivered, so a result that owns something (a page's cache file, say)
// cleans up after itself in its destructor.
//
// Start, cancel and ask on the GUI thread; the JobContext the function gets
// and the finisher may be used on any thread. Copies of a Job refer to the
// same job; dropping every copy does not stop it.
//
//     job_ = Job<Result<void, EmailService::Failure>>::run(
//         this, [=](const JobContext<>&) { return EmailService::sendViaSMTP(...); },
//         [this](Result<void, EmailService::Failure> sent) { ... });

// The default step: how far the work has come.
struct JobProgress {
    qsizetype done = 0;
    qsizetype total = 0;
};

namespace JobDetail {

// What every job shares between its owner, its work and its deliveries.
class Core {
public:
    explicit Core(QObject* receiver) : receiver_(receiver) {}
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;
    virtual ~Core() = default;

    const std::atomic<bool>& cancelFlag() const { return cancelled_; }
    // GUI thread: the job's outcome is no longer wanted.
    void cancel();
    // GUI thread: the result was delivered or will never be.
    bool isOver() const { return over_; }
    // GUI thread, before the function of a run() job starts.
    void workStarts();
    // Worker thread: the function has returned.
    void workEnded();
    // Blocks until the function of a run() job has returned.
    void waitForWork();

protected:
    // Runs deliver() on the GUI thread later, keeping `self` alive till then.
    static void post(std::shared_ptr<Core> self);
    // GUI thread: hands over whatever has arrived.
    virtual void deliver() = 0;
    // GUI thread: whether handlers may still run.
    bool wanted() const { return receiver_ != nullptr && !cancelled_; }
    void setOver() { over_ = true; }

    std::mutex mutex_;

private:
    QPointer<QObject> receiver_; // read on the GUI thread only
    std::atomic<bool> cancelled_ = false;
    bool over_ = false;
    bool working_ = false; // guarded by mutex_
    std::condition_variable workDone_;
};

template <typename T, typename Step> class State final : public Core {
public:
    using Core::Core;

    std::function<void(T)> onResult;
    std::function<void(Step)> onStep;

    // Any thread. Steps after the result, or after a cancel, are dropped.
    void report(Step step, const std::shared_ptr<Core>& self) {
        {
            const std::lock_guard lock(mutex_);
            if (finished_ || cancelFlag()) {
                return;
            }
            steps_.push_back(std::move(step));
        }
        post(self);
    }
    // Any thread; the first call counts.
    void finish(T result, const std::shared_ptr<Core>& self) {
        {
            const std::lock_guard lock(mutex_);
            if (finished_) {
                return;
            }
            finished_ = true;
            result_.emplace(std::move(result));
        }
        post(self);
    }

private:
    void deliver() override {
        while (true) {
            std::deque<Step> steps;
            std::optional<T> result;
            {
                const std::lock_guard lock(mutex_);
                steps.swap(steps_);
                if (steps.empty() && result_) {
                    result.emplace(std::move(*result_)); // T need only be movable
                    result_.reset();
                }
            }
            if (steps.empty() && !result) {
                return;
            }
            for (Step& step : steps) {
                if (wanted() && onStep) {
                    onStep(std::move(step));
                }
            }
            if (result) {
                if (!isOver() && wanted() && onResult) {
                    setOver();
                    onResult(std::move(*result));
                }
                setOver();
                return;
            }
        }
    }

    std::deque<Step> steps_;
    std::optional<T> result_;
    bool finished_ = false;
};

} // namespace JobDetail

// What a job's function is given: whether the job was cancelled, and a way
// to report steps. Usable on any thread.
template <typename Step = JobProgress> class JobContext {
public:
    JobContext(const std::atomic<bool>& cancelled, std::function<void(Step)> report)
        : cancelled_(cancelled), report_(std::move(report)) {}

    bool isCancelled() const { return cancelled_.load(); }
    // For code that polls a flag of its own kind (see TextRecognizer).
    const std::atomic<bool>& cancelFlag() const { return cancelled_; }
    void report(Step step) const { report_(std::move(step)); }

private:
    const std::atomic<bool>& cancelled_;
    std::function<void(Step)> report_;
};

template <typename T, typename Step = JobProgress> class Job {
public:
    using Context = JobContext<Step>;
    using ResultHandler = std::function<void(T)>;
    using StepHandler = std::function<void(Step)>;

    // No job: not running, and cancel() and wait() do nothing.
    Job() = default;

    // Runs `work(const Context&)`, which returns a T, on a thread of `pool`
    // (Qt's global pool when null); not at all when the job is cancelled
    // before a thread takes it up. `work` may own what it captures.
    template <typename Work>
    static Job run(QObject* receiver, Work work, ResultHandler onResult, StepHandler onStep = {},
                   QThreadPool* pool = nullptr) {
        Job job = make(receiver, std::move(onResult), std::move(onStep));
        job.state_->workStarts();
        // The work counts as ended once the pool lets go of it: after it
        // ran, or when the pool drops it unstarted (QThreadPool::clear()).
        auto ended =
            std::shared_ptr<void>(nullptr, [state = job.state_](void*) { state->workEnded(); });
        auto shared = std::make_shared<Work>(std::move(work));
        (pool != nullptr ? pool : QThreadPool::globalInstance())
            ->start([state = job.state_, shared, ended] {
                if (state->cancelFlag()) {
                    return; // cancelled before it started
                }
                std::shared_ptr<JobDetail::Core> core = state;
                const Context context(state->cancelFlag(), [state, core](Step step) {
                    state->report(std::move(step), core);
                });
                state->finish((*shared)(context), core);
            });
        return job;
    }

    // A job whose outcome some other operation hands over through finisher().
    static Job expect(QObject* receiver, ResultHandler onResult, StepHandler onStep = {}) {
        return make(receiver, std::move(onResult), std::move(onStep));
    }

    // For expect() jobs: ends the job with its result. Callable from any
    // thread, any number of times; the first call counts.
    std::function<void(T)> finisher() const {
        return [state = state_](T result) {
            if (state) {
                state->finish(std::move(result), state);
            }
        };
    }
    // For expect() jobs: reports a step, from any thread.
    std::function<void(Step)> reporter() const {
        return [state = state_](Step step) {
            if (state) {
                state->report(std::move(step), state);
            }
        };
    }

    // Nothing more is delivered; a running function sees isCancelled().
    void cancel() {
        if (state_) {
            state_->cancel();
        }
    }
    // Started, and neither delivered nor cancelled yet.
    bool isRunning() const { return state_ && !state_->isOver(); }
    // Blocks until the function of a run() job has returned (at once for
    // other jobs). Its outcome is delivered later, if still wanted.
    void wait() const {
        if (state_) {
            state_->waitForWork();
        }
    }

private:
    static Job make(QObject* receiver, ResultHandler onResult, StepHandler onStep) {
        Job job;
        job.state_ = std::make_shared<JobDetail::State<T, Step>>(receiver);
        job.state_->onResult = std::move(onResult);
        job.state_->onStep = std::move(onStep);
        return job;
    }

    std::shared_ptr<JobDetail::State<T, Step>> state_;
};
