#pragma once

#include "pdf/PdfReaderProtocol.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

#include <sys/types.h>

// The application's side of one PDF reader process, used from one thread
// at a time (any thread: nothing here needs an event loop). Every wait is
// bounded: the reader must answer within the stall limit, or it is taken to
// hang and killed (SIGKILL). A reader that dies or sends anything the
// protocol does not allow is killed and dropped the same way. Destroying the
// client closes the reader's input, gives it a moment to end and kills it
// if it has not.
class PdfReaderClient {
public:
    enum class Status {
        running,
        // No reader was started, or it was stopped on purpose.
        stopped,
        // The executable could not be started.
        unavailable,
        // Killed for answering too slowly.
        stalled,
        // Died, or broke the protocol.
        died,
        // The caller's cancel flag was raised while waiting.
        cancelled,
    };

    PdfReaderClient(QString readerPath, std::chrono::milliseconds stallLimit);
    ~PdfReaderClient();
    PdfReaderClient(const PdfReaderClient&) = delete;
    PdfReaderClient& operator=(const PdfReaderClient&) = delete;

    // Starts the reader and waits for its Ready; false when that fails
    // (status() tells how).
    bool start(const std::atomic<bool>* cancel = nullptr);
    // Sends a request; false when the reader can no longer be written to
    // (it is then dropped as died).
    bool send(const PdfReaderProtocol::Request& request);
    // The next reply, waiting at most the stall limit for it; nothing when
    // the reader was dropped or `cancel` became true (see status()).
    std::optional<PdfReaderProtocol::Reply> next(const std::atomic<bool>* cancel = nullptr);
    // Kills the reader now, with the status given.
    void drop(Status status);

    Status status() const { return status_; }
    std::optional<pid_t> processId() const;

private:
    void reap(std::chrono::milliseconds grace);

    QString path_;
    std::chrono::milliseconds stallLimit_;
    pid_t pid_ = -1;
    int toReader_ = -1;
    int fromReader_ = -1;
    Status status_ = Status::stopped;
    PdfReaderProtocol::FrameReader frames_;
};
