// Background jobs: what is delivered, where, in which order, and what is not.

#include "model/Job.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <memory>
#include <thread>

namespace {

// A result that counts how many of its kind are alive.
struct Counted {
    explicit Counted(int v) : value(v) { ++alive; }
    Counted(Counted&& other) noexcept : value(other.value) { ++alive; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    ~Counted() { --alive; }
    int value;
    static inline std::atomic<int> alive = 0;
};

} // namespace

class tst_Job : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stepsThenResultOnTheGuiThread() {
        QObject receiver;
        QList<qsizetype> steps;
        std::optional<int> result;
        QThread* workThread = nullptr;
        auto job = Job<int>::run(
            &receiver,
            [&workThread](const JobContext<>& context) {
                workThread = QThread::currentThread();
                for (int i = 1; i <= 3; ++i) {
                    context.report({i, 3});
                }
                return 42;
            },
            [&](int value) {
                QCOMPARE(QThread::currentThread(), thread());
                QCOMPARE(steps.size(), 3); // every step came first
                result = value;
            },
            [&](JobProgress step) {
                QCOMPARE(QThread::currentThread(), thread());
                steps << step.done;
            });
        QVERIFY(job.isRunning());
        QTRY_VERIFY(result.has_value());
        QCOMPARE(*result, 42);
        QCOMPARE(steps, (QList<qsizetype>{1, 2, 3}));
        QVERIFY(workThread != thread());
        QVERIFY(!job.isRunning());
        QVERIFY(!Job<int>().isRunning()); // no job at all
    }

    void nothingReachesAReceiverThatIsGoneOrAJobCancelled() {
        int delivered = 0;
        QSemaphore go;
        // The receiver goes while the work runs.
        auto receiver = std::make_unique<QObject>();
        auto gone = Job<Counted>::run(
            receiver.get(),
            [&go](const JobContext<>& context) {
                go.acquire();
                context.report({1, 1});
                return Counted(1);
            },
            [&](Counted) { ++delivered; }, [&](JobProgress) { ++delivered; });
        receiver.reset();
        go.release();
        gone.wait();
        QCoreApplication::processEvents();
        QTRY_COMPARE(Counted::alive.load(), 0); // dropped results are destroyed

        // Cancelled while it runs: the work sees it, nothing is delivered.
        QObject owner;
        QSemaphore started;
        bool sawCancel = false;
        auto cancelled = Job<Counted>::run(
            &owner,
            [&](const JobContext<>& context) {
                started.release();
                go.acquire();
                sawCancel = context.isCancelled();
                return Counted(2);
            },
            [&](Counted) { ++delivered; });
        started.acquire();
        cancelled.cancel();
        QVERIFY(!cancelled.isRunning());
        go.release();
        cancelled.wait();
        QVERIFY(sawCancel);
        QCoreApplication::processEvents();
        QTRY_COMPARE(Counted::alive.load(), 0);

        // Cancelled before a thread took it up: it never runs.
        QThreadPool pool;
        pool.setMaxThreadCount(1);
        pool.start([&go] { go.acquire(); });
        bool ran = false;
        auto unstarted = Job<Counted>::run(
            &owner,
            [&ran](const JobContext<>&) {
                ran = true;
                return Counted(4);
            },
            [&](Counted) { ++delivered; }, {}, &pool);
        unstarted.cancel();
        go.release();
        unstarted.wait();
        QVERIFY(!ran);

        // Cancelled after the result was posted but before it was handled.
        auto late = Job<Counted>::run(
            &owner, [](const JobContext<>&) { return Counted(3); }, [&](Counted) { ++delivered; });
        late.wait();
        late.cancel();
        QCoreApplication::processEvents();
        QCOMPARE(delivered, 0);
        QCOMPARE(Counted::alive.load(), 0);
    }

    void anOperationReportingFromAnyThread() {
        auto receiver = std::make_unique<QObject>();
        QList<int> results;
        auto job = Job<int>::expect(receiver.get(), [&](int value) { results << value; });
        const auto finish = job.finisher();
        std::thread([finish] {
            finish(7);
            finish(8); // only the first counts
        }).join();
        QVERIFY(job.isRunning());
        job.wait(); // nothing to wait for
        QTRY_COMPARE(results, QList<int>{7});
        QVERIFY(!job.isRunning());

        // Finished after the receiver went: nothing happens.
        auto orphan = Job<int>::expect(receiver.get(), [&](int value) { results << value; });
        receiver.reset();
        orphan.finisher()(9);
        QCoreApplication::processEvents();
        QCOMPARE(results, QList<int>{7});
    }
};

QTEST_GUILESS_MAIN(tst_Job)
#include "tst_Job.moc"
