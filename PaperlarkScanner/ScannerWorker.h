#pragma once

#include "Result.h"
#include "scanning/sane/SaneHandle.h"
#include "scanning/worker/WorkerProtocol.h"

#include <chrono>
#include <optional>

// The scanner worker process's side of the protocol: reads requests from the
// application, makes every SANE call, and answers. Single-threaded: while a
// scan reads, the input is looked at between reads for a cancel or the end
// of the application.
class ScannerWorker {
public:
    // Talks over the two file descriptors (read requests, write replies).
    ScannerWorker(int input, int output);

    ScannerWorker(const ScannerWorker&) = delete;
    ScannerWorker& operator=(const ScannerWorker&) = delete;

    // Serves until the application closes the input; the exit status: 0 for
    // a normal end, another value when the application sent something
    // invalid or could no longer be written to.
    int run();

private:
    enum class Input { message, nothing, ended, invalid };

    // Waits (up to timeout; none waits for ever) for a complete request.
    Input readRequest(std::optional<std::chrono::milliseconds> timeout,
                      std::optional<WorkerProtocol::Request>& request);
    bool send(const WorkerProtocol::Reply& reply);

    // Ends the scanner library and starts it again: no device may be open.
    // Connections to network scanners that dropped are made afresh by the
    // next call that needs them (the net backend never makes them again on
    // its own). False when the library does not start.
    bool restartSane();
    // Opens the device, once more after restartSane() when the open failed
    // in a way a dropped connection explains.
    Result<SaneHandle, SANE_Status> openDevice(const QByteArray& name);

    void list(const WorkerProtocol::ListDevices& request);
    void open(const WorkerProtocol::OpenDevice& request);
    void scan(const WorkerProtocol::StartScan& request);
    // During a scan: whether the application wants it to stop.
    bool stopRequested();

    int input_;
    int output_;
    WorkerProtocol::FrameReader reader_;
    bool saneStarted_ = false;
    // Nothing has been asked of the library since it was (re)started.
    bool saneFresh_ = false;
    bool cancelled_ = false;
    // The application has gone, or broke the protocol: end after the scan.
    std::optional<int> exitStatus_;
};
