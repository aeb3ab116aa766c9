#include "pdf/PdfReaderClient.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace PdfReaderProtocol;
using Clock = std::chrono::steady_clock;

// How long a reader gets to end by itself once its input is closed.
constexpr auto shutdownGrace = std::chrono::milliseconds(2000);
// How often a wait looks at the cancel flag.
constexpr int cancelPollMs = 50;

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

} // namespace

PdfReaderClient::PdfReaderClient(QString readerPath, std::chrono::milliseconds stallLimit)
    : path_(std::move(readerPath)), stallLimit_(stallLimit) {
    // Writing to a reader that has just died must be an error, not the end
    // of the application.
    std::signal(SIGPIPE, SIG_IGN);
}

PdfReaderClient::~PdfReaderClient() {
    if (pid_ > 0) {
        ::close(toReader_);
        toReader_ = -1;
        reap(shutdownGrace);
    }
    if (fromReader_ >= 0) {
        ::close(fromReader_);
    }
}

std::optional<pid_t> PdfReaderClient::processId() const {
    return pid_ > 0 ? std::optional(pid_) : std::nullopt;
}

bool PdfReaderClient::start(const std::atomic<bool>* cancel) {
    const QFileInfo program(path_);
    if (path_.isEmpty() || !program.isFile() || !program.isExecutable()) {
        status_ = Status::unavailable;
        return false;
    }
    int requests[2], replies[2];
    if (::pipe2(requests, O_CLOEXEC) != 0) {
        status_ = Status::unavailable;
        return false;
    }
    if (::pipe2(replies, O_CLOEXEC) != 0) {
        ::close(requests[0]);
        ::close(requests[1]);
        status_ = Status::unavailable;
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, requests[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, replies[1], STDOUT_FILENO);
    const QByteArray executable = QFile::encodeName(program.absoluteFilePath());
    const QByteArray parent = QByteArray::number(::getpid());
    std::vector<char*> arguments{const_cast<char*>(executable.constData()),
                                 const_cast<char*>("--parent"),
                                 const_cast<char*>(parent.constData()), nullptr};
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, executable.constData(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(requests[0]);
    ::close(replies[1]);
    if (spawned != 0) {
        ::close(requests[1]);
        ::close(replies[0]);
        status_ = Status::unavailable;
        return false;
    }
    pid_ = pid;
    toReader_ = requests[1];
    fromReader_ = replies[0];
    frames_ = FrameReader();
    status_ = Status::running;
    const auto ready = next(cancel);
    if (!ready) {
        if (status_ == Status::died) {
            // It never got as far as saying hello: it cannot run here.
            status_ = Status::unavailable;
        }
        return false;
    }
    if (!std::holds_alternative<Ready>(*ready)) {
        drop(Status::died);
        return false;
    }
    return true;
}

bool PdfReaderClient::send(const Request& request) {
    if (status_ != Status::running) {
        return false;
    }
    const QByteArray bytes = encode(request);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(toReader_, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            drop(Status::died);
            return false;
        }
        written += n;
    }
    return true;
}

std::optional<Reply> PdfReaderClient::next(const std::atomic<bool>* cancel) {
    const auto deadline = Clock::now() + stallLimit_;
    while (status_ == Status::running) {
        if (const auto frame = frames_.next()) {
            if (auto reply = decodeReply(*frame)) {
                return reply;
            }
            drop(Status::died);
            break;
        }
        if (frames_.invalid()) {
            drop(Status::died);
            break;
        }
        if (cancelled(cancel)) {
            drop(Status::cancelled);
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            drop(Status::stalled);
            break;
        }
        pollfd descriptor{fromReader_, POLLIN, 0};
        const int ready =
            ::poll(&descriptor, 1, int(std::min<long long>(left.count(), cancelPollMs)));
        if (ready < 0 && errno != EINTR) {
            drop(Status::died);
            break;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[64 * 1024];
        const ssize_t got = ::read(fromReader_, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            drop(Status::died);
            break;
        }
        frames_.append(buffer, got);
    }
    return std::nullopt;
}

void PdfReaderClient::drop(Status status) {
    status_ = status;
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(shutdownGrace);
    }
    if (toReader_ >= 0) {
        ::close(toReader_);
        toReader_ = -1;
    }
    if (fromReader_ >= 0) {
        ::close(fromReader_);
        fromReader_ = -1;
    }
}

void PdfReaderClient::reap(std::chrono::milliseconds grace) {
    const auto deadline = Clock::now() + grace;
    for (;;) {
        const pid_t done = ::waitpid(pid_, nullptr, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            break;
        }
        if (Clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}
