#include "scanning/worker/WorkerProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <cmath>
#include <type_traits>

namespace WorkerProtocol {

namespace {

// Type codes on the wire: requests below 100, replies from 101.
enum class Type : quint16 {
    listDevices = 1,
    openDevice = 2,
    startScan = 3,
    cancelScan = 4,
    ready = 101,
    deviceList = 102,
    opened = 103,
    openFailed = 104,
    progress = 105,
    pageWritten = 106,
    scanEnded = 107,
    deviceClosed = 108,
};

constexpr qsizetype headerSize = 8;
// More entries than this in any list means the data is broken.
constexpr quint32 maximumCount = 10000;

QDataStream& setUp(QDataStream& stream) {
    stream.setVersion(QDataStream::Qt_6_4);
    stream.setByteOrder(QDataStream::BigEndian);
    return stream;
}

QByteArray frame(Type type, const QByteArray& payload) {
    QByteArray bytes(headerSize, '\0');
    qToBigEndian<quint32>(quint32(payload.size() + 4), bytes.data());
    qToBigEndian<quint16>(version, bytes.data() + 4);
    qToBigEndian<quint16>(quint16(type), bytes.data() + 6);
    bytes.append(payload);
    return bytes;
}

// ---- Writing ----------------------------------------------------------------

class Writer {
public:
    Writer() : stream_(&bytes_, QIODevice::WriteOnly) { setUp(stream_); }

    Writer& operator<<(bool value) {
        stream_ << value;
        return *this;
    }
    Writer& operator<<(qint32 value) {
        stream_ << value;
        return *this;
    }
    Writer& operator<<(qint64 value) {
        stream_ << value;
        return *this;
    }
    Writer& operator<<(double value) {
        stream_ << value;
        return *this;
    }
    Writer& operator<<(const QString& value) {
        stream_ << value;
        return *this;
    }
    Writer& operator<<(const QByteArray& value) {
        stream_ << value;
        return *this;
    }
    template <typename T> Writer& operator<<(const std::optional<T>& value) {
        *this << value.has_value();
        if (value) {
            *this << *value;
        }
        return *this;
    }
    Writer& count(qsizetype n) {
        stream_ << quint32(n);
        return *this;
    }
    Writer& operator<<(const ScannerUnit& unit) {
        *this << qint32(unit.type);
        count(unit.supportedResolutions.size());
        for (const int dpi : unit.supportedResolutions) {
            *this << qint32(dpi);
        }
        return *this << unit.physicalSize.width() << unit.physicalSize.height()
                     << unit.supportsDuplexScanning;
    }
    Writer& operator<<(const SaneUnitSetup& setup) {
        return *this << setup.unit << setup.source << setup.duplexSource << setup.simplexMode
                     << setup.duplexMode;
    }
    Writer& operator<<(const QRectF& rect) {
        return *this << rect.x() << rect.y() << rect.width() << rect.height();
    }
    Writer& operator<<(PaperSize paper) { return *this << qint32(paper); }
    Writer& operator<<(const ScanConfiguration& c) {
        return *this << c.resolution << qint32(c.pixelType) << qint32(c.bitDepth) << c.scanArea
                     << c.documentType << c.duplexScanningEnabled
                     << c.downloadsDirectory.toLocalFile() << c.documentName;
    }
    Writer& operator<<(const SaneDeviceEntry& entry) {
        return *this << entry.name << entry.vendor << entry.model << entry.type;
    }
    Writer& operator<<(const BackendOption& option) {
        return *this << option.name << option.value << qint32(option.fromSheet);
    }
    template <typename Container> Writer& list(const Container& items) {
        count(qsizetype(items.size()));
        for (const auto& item : items) {
            *this << item;
        }
        return *this;
    }

    QByteArray take(Type type) { return frame(type, bytes_); }

private:
    QByteArray bytes_;
    QDataStream stream_;
};

// ---- Reading ----------------------------------------------------------------

// Reads fields and remembers whether everything made sense.
class Reader {
public:
    explicit Reader(const QByteArray& payload) : stream_(payload) { setUp(stream_); }

    bool ok() const { return ok_ && stream_.status() == QDataStream::Ok; }
    // Every field read, and nothing left over.
    bool complete() const { return ok() && stream_.atEnd(); }
    void fail() { ok_ = false; }

    Reader& operator>>(bool& value) {
        stream_ >> value;
        return *this;
    }
    Reader& operator>>(qint32& value) {
        stream_ >> value;
        return *this;
    }
    Reader& operator>>(qint64& value) {
        stream_ >> value;
        return *this;
    }
    Reader& operator>>(double& value) {
        stream_ >> value;
        if (!std::isfinite(value)) {
            fail();
        }
        return *this;
    }
    Reader& operator>>(QString& value) {
        stream_ >> value;
        return *this;
    }
    Reader& operator>>(QByteArray& value) {
        stream_ >> value;
        return *this;
    }
    template <typename T> Reader& operator>>(std::optional<T>& value) {
        bool present = false;
        *this >> present;
        value.reset();
        if (present && ok()) {
            T item{};
            *this >> item;
            value = std::move(item);
        }
        return *this;
    }
    quint32 count() {
        quint32 n = 0;
        stream_ >> n;
        if (n > maximumCount) {
            fail();
            return 0;
        }
        return ok() ? n : 0;
    }
    template <typename E> void enumeration(E& value, std::initializer_list<E> allowed) {
        qint32 raw = -1;
        *this >> raw;
        for (const E candidate : allowed) {
            if (raw == qint32(candidate)) {
                value = candidate;
                return;
            }
        }
        fail();
    }
    Reader& operator>>(PaperSize& paper) {
        enumeration(paper, {PaperSize::a4, PaperSize::letter, PaperSize::legal, PaperSize::a5});
        return *this;
    }
    Reader& operator>>(ScannerUnit& unit) {
        enumeration(unit.type, {ScannerUnit::Type::flatbed, ScannerUnit::Type::documentFeeder});
        const quint32 n = count();
        unit.supportedResolutions.clear();
        for (quint32 i = 0; i < n && ok(); ++i) {
            qint32 dpi = 0;
            *this >> dpi;
            unit.supportedResolutions.append(dpi);
        }
        double width = 0;
        double height = 0;
        *this >> width >> height >> unit.supportsDuplexScanning;
        unit.physicalSize = QSizeF(width, height);
        return *this;
    }
    Reader& operator>>(SaneUnitSetup& setup) {
        return *this >> setup.unit >> setup.source >> setup.duplexSource >> setup.simplexMode >>
               setup.duplexMode;
    }
    Reader& operator>>(QRectF& rect) {
        double x = 0, y = 0, w = 0, h = 0;
        *this >> x >> y >> w >> h;
        rect = QRectF(x, y, w, h);
        return *this;
    }
    Reader& operator>>(ScanConfiguration& c) {
        using PixelType = ScanConfiguration::PixelType;
        *this >> c.resolution;
        enumeration(c.pixelType, {PixelType::blackAndWhite, PixelType::grey, PixelType::rgb});
        *this >> c.bitDepth >> c.scanArea >> c.documentType >> c.duplexScanningEnabled;
        QString folder;
        *this >> folder >> c.documentName;
        if (c.bitDepth < 1 || c.bitDepth > 16 || folder.isEmpty() || c.documentName.isEmpty() ||
            c.documentName.contains(QLatin1Char('/'))) {
            fail();
        }
        c.downloadsDirectory = QUrl::fromLocalFile(folder);
        return *this;
    }
    Reader& operator>>(SaneDeviceEntry& entry) {
        return *this >> entry.name >> entry.vendor >> entry.model >> entry.type;
    }
    Reader& operator>>(BackendOption& option) {
        *this >> option.name >> option.value >> option.fromSheet;
        if (option.fromSheet < 1) {
            fail();
        }
        return *this;
    }
    template <typename Container> Reader& list(Container& items) {
        const quint32 n = count();
        for (quint32 i = 0; i < n && ok(); ++i) {
            typename Container::value_type item{};
            *this >> item;
            items.insert(items.end(), std::move(item));
        }
        return *this;
    }

private:
    QDataStream stream_;
    bool ok_ = true;
};

template <typename T> std::optional<T> finished(const Reader& reader, T message) {
    if (!reader.complete()) {
        return std::nullopt;
    }
    return message;
}

} // namespace

QByteArray encode(const Request& request) {
    Writer w;
    return std::visit(
        [&w](const auto& message) {
            using M = std::decay_t<decltype(message)>;
            if constexpr (std::is_same_v<M, ListDevices>) {
                return (w << message.localOnly).take(Type::listDevices);
            } else if constexpr (std::is_same_v<M, OpenDevice>) {
                return (w << message.name).take(Type::openDevice);
            } else if constexpr (std::is_same_v<M, StartScan>) {
                w << message.name << message.unit << message.configuration;
                return w.list(message.options).take(Type::startScan);
            } else {
                return w.take(Type::cancelScan);
            }
        },
        request);
}

QByteArray encode(const Reply& reply) {
    Writer w;
    return std::visit(
        [&w](const auto& message) {
            using M = std::decay_t<decltype(message)>;
            if constexpr (std::is_same_v<M, Ready>) {
                return (w << message.saneStarted).take(Type::ready);
            } else if constexpr (std::is_same_v<M, DeviceList>) {
                w.list(message.devices);
                return w.list(message.networkOnly).take(Type::deviceList);
            } else if constexpr (std::is_same_v<M, Opened>) {
                return w.list(message.units).take(Type::opened);
            } else if constexpr (std::is_same_v<M, OpenFailed>) {
                return (w << message.text << message.gone).take(Type::openFailed);
            } else if constexpr (std::is_same_v<M, Progress>) {
                return (w << message.bytes).take(Type::progress);
            } else if constexpr (std::is_same_v<M, PageWritten>) {
                return (w << message.path << message.lastByteAt).take(Type::pageWritten);
            } else if constexpr (std::is_same_v<M, ScanEnded>) {
                return (w << message.error << message.lost << message.cancelled)
                    .take(Type::scanEnded);
            } else {
                return w.take(Type::deviceClosed);
            }
        },
        reply);
}

std::optional<Request> decodeRequest(const Frame& frame) {
    Reader r(frame.payload);
    switch (Type(frame.type)) {
    case Type::listDevices: {
        ListDevices m;
        r >> m.localOnly;
        return finished<Request>(r, m);
    }
    case Type::openDevice: {
        OpenDevice m;
        r >> m.name;
        if (m.name.isEmpty()) {
            r.fail();
        }
        return finished<Request>(r, m);
    }
    case Type::startScan: {
        StartScan m;
        r >> m.name >> m.unit >> m.configuration;
        r.list(m.options);
        if (m.name.isEmpty()) {
            r.fail();
        }
        return finished<Request>(r, m);
    }
    case Type::cancelScan:
        return finished<Request>(r, CancelScan{});
    default:
        return std::nullopt;
    }
}

std::optional<Reply> decodeReply(const Frame& frame) {
    Reader r(frame.payload);
    switch (Type(frame.type)) {
    case Type::ready: {
        Ready m;
        r >> m.saneStarted;
        return finished<Reply>(r, m);
    }
    case Type::deviceList: {
        DeviceList m;
        r.list(m.devices);
        r.list(m.networkOnly);
        return finished<Reply>(r, m);
    }
    case Type::opened: {
        Opened m;
        r.list(m.units);
        return finished<Reply>(r, m);
    }
    case Type::openFailed: {
        OpenFailed m;
        r >> m.text >> m.gone;
        return finished<Reply>(r, m);
    }
    case Type::progress: {
        Progress m;
        r >> m.bytes;
        return finished<Reply>(r, m);
    }
    case Type::pageWritten: {
        PageWritten m;
        r >> m.path >> m.lastByteAt;
        if (m.path.isEmpty()) {
            r.fail();
        }
        return finished<Reply>(r, m);
    }
    case Type::scanEnded: {
        ScanEnded m;
        r >> m.error >> m.lost >> m.cancelled;
        return finished<Reply>(r, m);
    }
    case Type::deviceClosed:
        return finished<Reply>(r, DeviceClosed{});
    default:
        return std::nullopt;
    }
}

std::optional<Frame> FrameReader::next() {
    if (invalid_ || buffer_.size() < 4) {
        return std::nullopt;
    }
    const quint32 length = qFromBigEndian<quint32>(buffer_.constData());
    if (length < 4 || length > maximumFrameSize) {
        invalid_ = true;
        return std::nullopt;
    }
    if (buffer_.size() >= headerSize &&
        qFromBigEndian<quint16>(buffer_.constData() + 4) != version) {
        invalid_ = true;
        return std::nullopt;
    }
    if (buffer_.size() < qsizetype(4 + length)) {
        return std::nullopt;
    }
    Frame frame;
    frame.type = qFromBigEndian<quint16>(buffer_.constData() + 6);
    frame.payload = buffer_.mid(headerSize, qsizetype(length) - 4);
    buffer_.remove(0, qsizetype(4 + length));
    return frame;
}

} // namespace WorkerProtocol
