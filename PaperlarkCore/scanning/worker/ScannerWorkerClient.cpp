#include "scanning/worker/ScannerWorkerClient.h"

#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <type_traits>
#include <utility>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

using namespace WorkerProtocol;

// How long the worker gets to end by itself when the application lets it go.
constexpr int shutdownGraceMs = 3000;

QString cannotStart(const QString& path) {
    return QStringLiteral("Scanners cannot be used: the helper program ") + path +
           QStringLiteral(" is missing or cannot be run. Reinstall Paperlark.");
}

template <typename T> bool holds(const std::optional<Request>& request) {
    return request && std::holds_alternative<T>(*request);
}

} // namespace

ScannerWorkerClient::ScannerWorkerClient(WorkerSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    // Writing to a worker that has just died must be an error, not the end of
    // the application.
    std::signal(SIGPIPE, SIG_IGN);
    setStallLimit(settings_.stallLimit);
    connect(&watchdog_, &QTimer::timeout, this, &ScannerWorkerClient::checkWatchdog);
}

ScannerWorkerClient::~ScannerWorkerClient() {
    if (!process_) {
        return;
    }
    process_->disconnect(this);
    // The end of its input makes the worker stop a scan, close the device
    // and exit; a worker stuck in a driver is killed.
    process_->closeWriteChannel();
    if (!process_->waitForFinished(shutdownGraceMs)) {
        process_->kill();
        process_->waitForFinished(shutdownGraceMs);
    }
    delete process_;
}

void ScannerWorkerClient::setStallLimit(std::chrono::milliseconds limit) {
    settings_.stallLimit = limit;
    const auto interval =
        std::clamp<qint64>(std::min(limit, settings_.cancelLimit).count() / 4, 20, 1000);
    watchdog_.setInterval(int(interval));
}

std::optional<qint64> ScannerWorkerClient::processId() const {
    if (!process_ || process_->state() != QProcess::Running) {
        return std::nullopt;
    }
    return process_->processId();
}

void ScannerWorkerClient::submit(Request request, Listener listener) {
    queue_.push_back({std::move(request), std::move(listener)});
    // Never answer from inside submit(): callers expect answers later.
    QMetaObject::invokeMethod(this, &ScannerWorkerClient::startNext, Qt::QueuedConnection);
}

void ScannerWorkerClient::cancelScan() {
    if (current_ && std::holds_alternative<StartScan>(current_->request)) {
        if (!cancelling_ && process_) {
            cancelling_ = true;
            cancelSent_.start();
            process_->write(encode(CancelScan{}));
        }
        return;
    }
    const auto queued = std::find_if(queue_.begin(), queue_.end(), [](const Pending& pending) {
        return std::holds_alternative<StartScan>(pending.request);
    });
    if (queued != queue_.end()) {
        Listener listener = std::move(queued->listener);
        queue_.erase(queued);
        QMetaObject::invokeMethod(
            this,
            [listener] {
                listener(Reply(ScanEnded{std::nullopt, false, true}));
            },
            Qt::QueuedConnection);
    }
}

void ScannerWorkerClient::startNext() {
    if (current_ || closing_ || queue_.empty()) {
        return;
    }
    if (!process_ && !startProcess()) {
        failEverything(*problem_);
        return;
    }
    current_ = std::move(queue_.front());
    queue_.pop_front();
    cancelling_ = false;
    lastSign_.start();
    watchdog_.start();
    process_->write(encode(current_->request));
}

bool ScannerWorkerClient::startProcess() {
    const QFileInfo program(settings_.workerPath);
    if (settings_.workerPath.isEmpty() || !program.isFile() || !program.isExecutable()) {
        problem_ = cannotStart(settings_.workerPath);
        return false;
    }
    auto* process = new QProcess(this);
    process->setProgram(program.absoluteFilePath());
    const pid_t self = ::getpid();
    process->setArguments({QStringLiteral("--parent"), QString::number(self)});
    // Drivers' own messages go where the application's standard error goes.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setChildProcessModifier([self] {
        // The worker ends with the application, even one that is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != self) {
            ::_exit(1);
        }
    });
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        problem_ = cannotStart(settings_.workerPath);
        return false;
    }
    problem_.reset();
    process_ = process;
    readySeen_ = false;
    reader_ = FrameReader();
    connect(process_, &QProcess::readyReadStandardOutput, this, &ScannerWorkerClient::readReplies);
    connect(process_, &QProcess::finished, this, [this] {
        // Whatever it managed to say before it went still counts.
        readReplies();
        if (process_) {
            dropWorker(Loss::died);
        }
    });
    return true;
}

void ScannerWorkerClient::readReplies() {
    if (!process_) {
        return;
    }
    reader_.append(process_->readAllStandardOutput());
    while (process_) {
        const auto frame = reader_.next();
        if (!frame) {
            if (reader_.invalid()) {
                dropWorker(Loss::died);
            }
            return;
        }
        const auto reply = decodeReply(*frame);
        if (!reply || !accept(*reply)) {
            dropWorker(Loss::died);
            return;
        }
    }
}

bool ScannerWorkerClient::accept(const Reply& reply) {
    if (std::holds_alternative<Ready>(reply)) {
        if (readySeen_) {
            return false;
        }
        readySeen_ = true;
        lastSign_.start();
        return true;
    }
    if (std::holds_alternative<DeviceClosed>(reply)) {
        if (!closing_) {
            return false;
        }
        closing_ = false;
        if (!current_) {
            watchdog_.stop();
        }
        QMetaObject::invokeMethod(this, &ScannerWorkerClient::startNext, Qt::QueuedConnection);
        return true;
    }
    if (!readySeen_ || !current_) {
        return false;
    }
    lastSign_.start();
    const std::optional<Request> request = current_->request;
    const bool final = std::visit(
        [](const auto& message) {
            using M = std::decay_t<decltype(message)>;
            return !std::is_same_v<M, Progress> && !std::is_same_v<M, PageWritten>;
        },
        reply);
    bool fits = false;
    if (std::holds_alternative<DeviceList>(reply)) {
        fits = holds<ListDevices>(request);
    } else if (std::holds_alternative<Opened>(reply) || std::holds_alternative<OpenFailed>(reply)) {
        fits = holds<OpenDevice>(request);
    } else if (std::holds_alternative<Progress>(reply) ||
               std::holds_alternative<ScanEnded>(reply)) {
        fits = holds<StartScan>(request);
    } else if (std::holds_alternative<PageWritten>(reply)) {
        // Whether the page is one the worker may deliver is for the scan's
        // listener to find out (see WorkerPageFile), on what it opens.
        fits = holds<StartScan>(request);
    }
    if (!fits) {
        return false;
    }
    if (std::holds_alternative<ScanEnded>(reply)) {
        closing_ = true;
        closingSince_.start();
    }
    if (final) {
        deliverFinal(reply);
    } else {
        current_->listener(reply);
    }
    return true;
}

void ScannerWorkerClient::deliverFinal(const Event& event) {
    const Listener listener = std::move(current_->listener);
    current_.reset();
    cancelling_ = false;
    if (!closing_) {
        watchdog_.stop();
    }
    listener(event);
    QMetaObject::invokeMethod(this, &ScannerWorkerClient::startNext, Qt::QueuedConnection);
}

void ScannerWorkerClient::checkWatchdog() {
    if (closing_ && closingSince_.elapsed() > settings_.cancelLimit.count()) {
        dropWorker(Loss::stalled);
        QMetaObject::invokeMethod(this, &ScannerWorkerClient::startNext, Qt::QueuedConnection);
        return;
    }
    if (!current_) {
        if (!closing_) {
            watchdog_.stop();
        }
        return;
    }
    const bool silent = lastSign_.elapsed() > settings_.stallLimit.count();
    const bool cancelOverdue = cancelling_ && cancelSent_.elapsed() > settings_.cancelLimit.count();
    if (silent || cancelOverdue) {
        dropWorker(Loss::stalled);
    }
}

void ScannerWorkerClient::dropWorker(Loss loss) {
    closing_ = false;
    if (process_) {
        QProcess* process = std::exchange(process_, nullptr);
        process->disconnect(this);
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
        } else {
            // Gone once the system has reaped it; with the client at the latest.
            connect(process, &QProcess::finished, process, &QObject::deleteLater);
            process->kill();
        }
    }
    if (current_) {
        deliverFinal(Lost{loss, {}});
    }
}

void ScannerWorkerClient::distrust() {
    dropWorker(Loss::died);
    QMetaObject::invokeMethod(this, &ScannerWorkerClient::startNext, Qt::QueuedConnection);
}

void ScannerWorkerClient::failEverything(const QString& text) {
    std::deque<Pending> failed = std::exchange(queue_, {});
    for (Pending& pending : failed) {
        pending.listener(Lost{Loss::unavailable, text});
    }
}
