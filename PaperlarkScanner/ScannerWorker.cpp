#include "ScannerWorker.h"

#include "BackendPinning.h"

#include "scanning/sane/SaneHandle.h"
#include "scanning/sane/SaneScanJob.h"
#include "scanning/sane/SaneStatusText.h"
#include "scanning/sane/SaneUnits.h"

#include <sane/sane.h>

#include <cerrno>
#include <chrono>
#include <type_traits>

#include <poll.h>
#include <unistd.h>

namespace {

using namespace WorkerProtocol;

// Progress is reported at most this often: often enough for the
// application's watchdog, rarely enough to cost nothing.
constexpr auto progressInterval = std::chrono::milliseconds(200);

std::vector<SaneDeviceEntry> listDevices(bool localOnly) {
    std::vector<SaneDeviceEntry> entries;
    const SANE_Device** devices = nullptr;
    if (sane_get_devices(&devices, localOnly ? SANE_TRUE : SANE_FALSE) != SANE_STATUS_GOOD ||
        !devices) {
        return entries;
    }
    for (const SANE_Device** device = devices; *device; ++device) {
        const SANE_Device& d = **device;
        if (!d.name) {
            continue;
        }
        entries.push_back({QByteArray(d.name), QString::fromUtf8(d.vendor ? d.vendor : ""),
                           QString::fromUtf8(d.model ? d.model : ""),
                           QString::fromUtf8(d.type ? d.type : "")});
    }
    return entries;
}

QString libraryNotStarted() {
    return QStringLiteral("The scanner access library could not be started.");
}

} // namespace

ScannerWorker::ScannerWorker(int input, int output) : input_(input), output_(output) {}

int ScannerWorker::run() {
    SANE_Int version = 0;
    saneStarted_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    saneFresh_ = true;
    if (!send(Ready{saneStarted_})) {
        exitStatus_ = 1;
    }
    while (!exitStatus_) {
        std::optional<Request> request;
        switch (readRequest(std::nullopt, request)) {
        case Input::ended:
            exitStatus_ = 0;
            continue;
        case Input::invalid:
            exitStatus_ = 2;
            continue;
        case Input::nothing:
            continue;
        case Input::message:
            break;
        }
        std::visit(
            [this](const auto& message) {
                using M = std::decay_t<decltype(message)>;
                if constexpr (std::is_same_v<M, ListDevices>) {
                    list(message);
                } else if constexpr (std::is_same_v<M, OpenDevice>) {
                    open(message);
                } else if constexpr (std::is_same_v<M, StartScan>) {
                    scan(message);
                }
                // A cancel that arrives after its scan ended has nothing to stop.
            },
            *request);
    }
    if (saneStarted_) {
        keepSaneBackendsLoaded();
        sane_exit();
    }
    return *exitStatus_;
}

ScannerWorker::Input ScannerWorker::readRequest(std::optional<std::chrono::milliseconds> timeout,
                                                std::optional<Request>& request) {
    for (;;) {
        if (const auto frame = reader_.next()) {
            request = decodeRequest(*frame);
            return request ? Input::message : Input::invalid;
        }
        if (reader_.invalid()) {
            return Input::invalid;
        }
        pollfd descriptor{input_, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, timeout ? int(timeout->count()) : -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return Input::nothing;
        }
        char buffer[64 * 1024];
        const ssize_t got = ::read(input_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A message cut off by the end of the input is as bad as garbage.
            return reader_.hasPartialFrame() ? Input::invalid : Input::ended;
        }
        reader_.append(buffer, got);
    }
}

bool ScannerWorker::send(const Reply& reply) {
    const QByteArray bytes = encode(reply);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(output_, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The application has gone (SIGPIPE is ignored, so this is EPIPE).
            exitStatus_ = 1;
            return false;
        }
        written += n;
    }
    return true;
}

bool ScannerWorker::restartSane() {
    if (saneStarted_) {
        keepSaneBackendsLoaded();
        sane_exit();
    }
    SANE_Int version = 0;
    saneStarted_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    saneFresh_ = true;
    return saneStarted_;
}

Result<SaneHandle, SANE_Status> ScannerWorker::openDevice(const QByteArray& name) {
    saneFresh_ = false;
    auto opened = SaneHandle::open(name);
    if (opened || !saneMayBeDisconnected(opened.failure()) || !restartSane()) {
        return opened;
    }
    saneFresh_ = false;
    return SaneHandle::open(name);
}

void ScannerWorker::list(const ListDevices& request) {
    DeviceList reply;
    // A search for network scanners starts the library afresh: it then
    // connects again to every saned host, where a connection that has
    // dropped since would be used as it is (and crashes the net backend).
    if (!request.localOnly && !saneFresh_) {
        restartSane();
    }
    saneFresh_ = false;
    if (saneStarted_) {
        reply.devices = listDevices(true);
        if (!request.localOnly) {
            QSet<QByteArray> local;
            for (const SaneDeviceEntry& entry : reply.devices) {
                local.insert(entry.name);
            }
            reply.devices = listDevices(false);
            for (const SaneDeviceEntry& entry : reply.devices) {
                if (!local.contains(entry.name)) {
                    reply.networkOnly.insert(entry.name);
                }
            }
        }
    }
    send(reply);
}

void ScannerWorker::open(const OpenDevice& request) {
    if (!saneStarted_) {
        send(OpenFailed{libraryNotStarted(), false});
        return;
    }
    auto opened = openDevice(request.name);
    if (!opened) {
        // Backends answer an open of a device they no longer have with
        // "invalid argument".
        const SANE_Status status = opened.failure();
        const bool gone = status == SANE_STATUS_INVAL;
        send(OpenFailed{gone ? QStringLiteral("The scanner is no longer available.")
                        : saneMayBeDisconnected(status) ? saneUnreachableText()
                                                        : saneStatusText(status),
                        gone});
        return;
    }
    send(Opened{SaneUnits::read(opened.value())});
}

void ScannerWorker::scan(const StartScan& request) {
    if (!saneStarted_) {
        send(ScanEnded{libraryNotStarted(), false, false});
        send(DeviceClosed{});
        return;
    }
    cancelled_ = false;
    auto lastProgress = std::chrono::steady_clock::now() - progressInterval;
    SaneScanJob::Events events;
    events.pageWritten = [this](const QString& path, std::chrono::steady_clock::time_point at) {
        send(PageWritten{
            path, qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch())
                             .count())});
    };
    events.dataArrived = [this, &lastProgress](qint64 bytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastProgress >= progressInterval) {
            lastProgress = now;
            send(Progress{bytes});
        }
    };
    events.cancelled = [this] { return stopRequested(); };
    events.reconnect = [this] { return restartSane(); };
    saneFresh_ = false;

    SaneScanJob job(request.name, request.unit, request.configuration, request.options,
                    std::move(events));
    job.run([this](const SaneScanJob::End& end) {
        send(ScanEnded{end.cancelled ? std::nullopt : end.error, end.lost, end.cancelled});
    });
    send(DeviceClosed{});
}

bool ScannerWorker::stopRequested() {
    while (!cancelled_ && !exitStatus_) {
        std::optional<Request> request;
        switch (readRequest(std::chrono::milliseconds(0), request)) {
        case Input::nothing:
            return false;
        case Input::ended:
            exitStatus_ = 0;
            break;
        case Input::invalid:
            exitStatus_ = 2;
            break;
        case Input::message:
            // Only a cancel may come while a scan runs.
            if (std::holds_alternative<CancelScan>(*request)) {
                cancelled_ = true;
            } else {
                exitStatus_ = 2;
            }
            break;
        }
    }
    return true;
}
