#pragma once

#include "scanning/ScanConfiguration.h"
#include "scanning/sane/SaneDeviceEntry.h"
#include "scanning/sane/SaneUnitSetup.h"
#include "scanning/worker/BackendOption.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// The messages between the application and its scanner worker process, and
// their framing on a byte stream.
//
// Every message is one frame: a 32-bit length (big-endian) of what follows,
// a 16-bit protocol version, a 16-bit message type, then the message's
// fields in QDataStream form. A frame that is too long, of another version or
// an unknown type, or whose fields do not decode to exactly its length, is
// invalid: the side that receives it treats the other side as broken.
//
// The application sends one request at a time and waits for its final
// answer (and after a scan for DeviceClosed); only CancelScan may be sent
// while a scan runs.
namespace WorkerProtocol {

constexpr quint16 version = 1;
// Far above any real message (device and option lists are small).
constexpr quint32 maximumFrameSize = 4 * 1024 * 1024;

// ---- Application to worker ----

// Answered by DeviceList. Without localOnly, network backends are asked too
// (which can take seconds).
struct ListDevices {
    bool localOnly = true;
};

// Opens the device, reads its units and closes it again. Answered by Opened
// or OpenFailed.
struct OpenDevice {
    QByteArray name;
};

// Scans with the unit into configuration.downloadsDirectory. Answered by
// Progress and PageWritten messages as the scan goes on, then ScanEnded,
// then DeviceClosed.
struct StartScan {
    QByteArray name;
    SaneUnitSetup unit;
    ScanConfiguration configuration;
    QList<BackendOption> options;
};

// Stops the running scan after the page in progress; ignored when no scan runs.
struct CancelScan {};

// ---- Worker to application ----

// The worker's first message.
struct Ready {
    bool saneStarted = false;
};

struct DeviceList {
    std::vector<SaneDeviceEntry> devices;
    // The devices only a listing with network backends finds.
    QSet<QByteArray> networkOnly;
};

struct Opened {
    std::vector<SaneUnitSetup> units;
};

struct OpenFailed {
    QString text;
    // The backend no longer knows the device.
    bool gone = false;
};

// Image data arrived: the scan is alive.
struct Progress {
    qint64 bytes = 0;
};

// A complete page file, under its final name.
struct PageWritten {
    QString path;
    // When the page's last byte was read, on the steady clock, in nanoseconds.
    qint64 lastByteAt = 0;
};

// The scan's outcome, sent as soon as it is known: usually while the device
// is still being closed. DeviceClosed follows.
struct ScanEnded {
    // Why the scan stopped early; none when it ran to its end or was cancelled.
    std::optional<QString> error;
    // The device stopped answering altogether.
    bool lost = false;
    bool cancelled = false;
};

// After ScanEnded: the device is closed and the worker takes the next request.
struct DeviceClosed {};

using Request = std::variant<ListDevices, OpenDevice, StartScan, CancelScan>;
using Reply = std::variant<Ready, DeviceList, Opened, OpenFailed, Progress, PageWritten, ScanEnded,
                           DeviceClosed>;

QByteArray encode(const Request& request);
QByteArray encode(const Reply& reply);

// One frame taken off the stream, not yet decoded.
struct Frame {
    quint16 type = 0;
    QByteArray payload;
};

std::optional<Request> decodeRequest(const Frame& frame);
std::optional<Reply> decodeReply(const Frame& frame);

// Splits a byte stream into frames.
class FrameReader {
public:
    void append(const char* data, qsizetype size) { buffer_.append(data, size); }
    void append(const QByteArray& data) { buffer_.append(data); }

    // The next complete frame, if one is there. Once the stream is found
    // invalid, never another one.
    std::optional<Frame> next();
    bool invalid() const { return invalid_; }
    // Bytes of a frame that has started but not ended.
    bool hasPartialFrame() const { return !buffer_.isEmpty(); }

private:
    QByteArray buffer_;
    bool invalid_ = false;
};

} // namespace WorkerProtocol
