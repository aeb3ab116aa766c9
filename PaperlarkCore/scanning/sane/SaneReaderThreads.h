#pragma once

#include <chrono>
#include <set>

#include <sys/types.h>

// The helper threads a SANE backend starts for one frame (sanei_thread reader
// threads), found as the threads of this process that appeared across
// sane_start().
//
// Such backends cancel their reader asynchronously when a frame ends or is
// cancelled. Cancelled while it is inside the C library's allocator, the
// reader dies holding the allocator's lock and every later allocation in the
// process waits for ever. Before a call that may cancel the reader, wait until
// it has ended or is blocked in the kernel (e.g. writing into a full pipe),
// where cancelling it is harmless.
class SaneReaderThreads {
public:
    using ThreadIds = std::set<pid_t>;

    // The threads of this process right now.
    static ThreadIds snapshot();

    // The threads that exist now but not in `before`.
    explicit SaneReaderThreads(const ThreadIds& before);

    // Waits until every reader has ended; false when one still runs after `limit`.
    bool waitUntilEnded(std::chrono::milliseconds limit) const;

    // Waits until every reader has ended or has stayed blocked for two looks
    // in a row; gives up after `limit`.
    void waitUntilQuiet(std::chrono::milliseconds limit) const;

private:
    enum class State { ended, blocked, running };
    static State stateOf(pid_t thread);

    ThreadIds readers_;
};
