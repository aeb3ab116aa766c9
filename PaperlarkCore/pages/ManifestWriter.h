#pragma once

#include "pages/SessionManifest.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Writes a session folder's manifest on a thread of its own, so that whoever
// hands it over never waits for the disk (a durable write syncs twice, which
// on a busy disk takes a good part of a second). Manifests are written in
// the order given; one handed over while another is being written waits for
// it, and replaces any that was still waiting (only the latest state
// matters). Each write is durable (SessionManifest::write).
//
// Used from one thread; the writes happen on the writer's own.
class ManifestWriter {
public:
    explicit ManifestWriter(QString folder);
    // Writes what is still waiting, then ends the thread.
    ~ManifestWriter();

    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    // Hands a manifest over for writing; returns at once.
    void write(SessionManifest manifest);
    // Waits until every manifest handed over is written (or dropped); false
    // when the last write failed (the folder was missing, say).
    bool wait();
    // Drops the manifest still waiting, if any, and waits for the one being
    // written.
    void discardWaiting();
    // Whether the last write failed, without waiting.
    bool lastFailed() const;

private:
    void run();

    const QString folder_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<SessionManifest> waiting_;
    bool writing_ = false;
    bool failed_ = false;
    bool ending_ = false;
    std::thread thread_;
};
