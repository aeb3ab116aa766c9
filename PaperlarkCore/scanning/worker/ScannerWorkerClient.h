#pragma once

#include "scanning/worker/WorkerProtocol.h"
#include "scanning/worker/WorkerSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <variant>

class QProcess;

// The application's side of one scanner worker process: starts it when the
// first request comes, sends one request at a time, hands every answer to
// the request's listener, and replaces the worker when it dies or hangs.
//
// Watchdog: while a request is out, the worker must show a sign of life
// (any message) at least once per stall limit, and end a cancelled scan
// within the cancel limit; otherwise it is killed (SIGKILL). A worker that
// takes longer than the cancel limit to close a device after a scan is
// killed too, without costing anything: the scan's outcome is known by then. A worker that
// dies, or sends anything the protocol does not allow, is dropped the same
// way. The request in progress then ends with a Lost event; queued requests
// go to a new worker. Lives on the GUI thread; listeners are called there.
class ScannerWorkerClient : public QObject {
    Q_OBJECT
public:
    enum class Loss {
        // Killed for showing no sign of life.
        stalled,
        // Died, or broke the protocol.
        died,
        // The worker executable cannot be started at all.
        unavailable,
    };
    struct Lost {
        Loss loss;
        // For unavailable: the sentence that says so.
        QString text;
    };
    using Event = std::variant<WorkerProtocol::Reply, Lost>;
    // Hears every message answering its request; the last call is the final
    // answer or a Lost.
    using Listener = std::function<void(const Event&)>;

    explicit ScannerWorkerClient(WorkerSettings settings, QObject* parent = nullptr);
    // Lets the worker end on its own (closing its input), then kills it if it has not.
    ~ScannerWorkerClient() override;

    ScannerWorkerClient(const ScannerWorkerClient&) = delete;
    ScannerWorkerClient& operator=(const ScannerWorkerClient&) = delete;

    const WorkerSettings& settings() const { return settings_; }
    void setStallLimit(std::chrono::milliseconds limit);

    // Queues the request; the listener is called later, never from here.
    void submit(WorkerProtocol::Request request, Listener listener);
    // Asks the scan in progress to stop after the page being read, or drops a
    // scan still waiting in the queue (its listener hears ScanEnded, cancelled).
    void cancelScan();

    // Replaces the worker for having broken the rules in a way only its
    // listener can tell (a page file that does not check out): it is killed,
    // the request in progress ends with Lost (died), and queued requests go
    // to a new worker.
    void distrust();

    // The running worker's process id, if one runs.
    std::optional<qint64> processId() const;
    // Why no worker can be started; none while one can (or none was tried).
    const std::optional<QString>& problem() const { return problem_; }

private:
    struct Pending {
        WorkerProtocol::Request request;
        Listener listener;
    };

    void startNext();
    bool startProcess();
    void readReplies();
    // False when the reply is not one the protocol allows now.
    bool accept(const WorkerProtocol::Reply& reply);
    void checkWatchdog();
    // Drops the worker (killing it if it still runs) and ends the request in
    // progress with the loss.
    void dropWorker(Loss loss);
    void failEverything(const QString& text);
    void deliverFinal(const Event& event);

    WorkerSettings settings_;
    QProcess* process_ = nullptr;
    bool readySeen_ = false;
    WorkerProtocol::FrameReader reader_;
    std::deque<Pending> queue_;
    std::optional<Pending> current_;
    bool cancelling_ = false;
    // A scan has ended and the worker is still closing the device.
    bool closing_ = false;
    QElapsedTimer closingSince_;
    QElapsedTimer lastSign_;
    QElapsedTimer cancelSent_;
    QTimer watchdog_;
    std::optional<QString> problem_;
};
