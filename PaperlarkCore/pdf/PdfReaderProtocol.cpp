#include "pdf/PdfReaderProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace PdfReaderProtocol {

namespace {

// Type codes on the wire: requests below 100, replies from 101.
enum class Type : quint16 {
    open = 1,
    readPage = 2,
    ready = 101,
    opened = 102,
    openFailed = 103,
    pageStart = 104,
    pageData = 105,
    pageEnd = 106,
    pageFailed = 107,
};

constexpr qsizetype headerSize = 8;

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

// Writes the fields of one message.
template <typename... Fields> QByteArray message(Type type, const Fields&... fields) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    setUp(stream);
    ((stream << fields), ...);
    return frame(type, payload);
}

// Reads fields and remembers whether everything made sense.
class Reader {
public:
    explicit Reader(const QByteArray& payload) : stream_(payload) { setUp(stream_); }

    template <typename T> Reader& operator>>(T& value) {
        stream_ >> value;
        return *this;
    }
    Reader& operator>>(double& value) {
        stream_ >> value;
        if (!std::isfinite(value)) {
            ok_ = false;
        }
        return *this;
    }
    template <typename E> Reader& enumeration(E& value, std::initializer_list<E> allowed) {
        qint32 raw = -1;
        stream_ >> raw;
        ok_ = ok_ && std::find(allowed.begin(), allowed.end(), E(raw)) != allowed.end();
        value = E(raw);
        return *this;
    }
    void require(bool condition) { ok_ = ok_ && condition; }

    // Every field read, each made sense, and nothing left over.
    template <typename T> std::optional<T> finished(T message) const {
        if (!ok_ || stream_.status() != QDataStream::Ok || !stream_.atEnd()) {
            return std::nullopt;
        }
        return message;
    }

private:
    QDataStream stream_;
    bool ok_ = true;
};

} // namespace

QByteArray encode(const Request& request) {
    return std::visit(
        [](const auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Open>) {
                return message(Type::open, m.path);
            } else {
                return message(Type::readPage, m.index, m.render);
            }
        },
        request);
}

QByteArray encode(const Reply& reply) {
    return std::visit(
        [](const auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Ready>) {
                return message(Type::ready);
            } else if constexpr (std::is_same_v<M, Opened>) {
                return message(Type::opened, m.pageCount);
            } else if constexpr (std::is_same_v<M, OpenFailed>) {
                return message(Type::openFailed, qint32(m.problem));
            } else if constexpr (std::is_same_v<M, PageStart>) {
                return message(Type::pageStart, m.index, qint32(m.kind), m.width, m.height, m.dpi,
                               m.turns, m.rendered, m.byteCount);
            } else if constexpr (std::is_same_v<M, PageData>) {
                return message(Type::pageData, m.bytes);
            } else if constexpr (std::is_same_v<M, PageEnd>) {
                return m.textLayer ? message(Type::pageEnd, true, *m.textLayer)
                                   : message(Type::pageEnd, false);
            } else {
                return message(Type::pageFailed, m.index);
            }
        },
        reply);
}

std::optional<Request> decodeRequest(const Frame& frame) {
    Reader r(frame.payload);
    switch (Type(frame.type)) {
    case Type::open: {
        Open m;
        r >> m.path;
        r.require(!m.path.isEmpty());
        return r.finished<Request>(m);
    }
    case Type::readPage: {
        ReadPage m;
        r >> m.index >> m.render;
        r.require(m.index >= 0);
        return r.finished<Request>(m);
    }
    default:
        return std::nullopt;
    }
}

std::optional<Reply> decodeReply(const Frame& frame) {
    Reader r(frame.payload);
    switch (Type(frame.type)) {
    case Type::ready:
        return r.finished<Reply>(Ready{});
    case Type::opened: {
        Opened m;
        r >> m.pageCount;
        r.require(m.pageCount >= 0);
        return r.finished<Reply>(m);
    }
    case Type::openFailed: {
        OpenFailed m;
        r.enumeration(m.problem, {OpenFailed::Problem::password, OpenFailed::Problem::unreadable});
        return r.finished<Reply>(m);
    }
    case Type::pageStart: {
        PageStart m;
        r >> m.index;
        r.enumeration(m.kind, {Kind::jpeg, Kind::mono, Kind::grey, Kind::rgb});
        r >> m.width >> m.height >> m.dpi >> m.turns >> m.rendered >> m.byteCount;
        r.require(m.index >= 0 && m.width > 0 && m.height > 0 && m.dpi > 0 && m.turns >= 0 &&
                  m.turns < 4 && m.byteCount > 0);
        return r.finished<Reply>(m);
    }
    case Type::pageData: {
        PageData m;
        r >> m.bytes;
        r.require(!m.bytes.isEmpty() && m.bytes.size() <= chunkSize);
        return r.finished<Reply>(m);
    }
    case Type::pageEnd: {
        PageEnd m;
        bool hasText = false;
        r >> hasText;
        if (hasText) {
            QByteArray text;
            r >> text;
            r.require(!text.isEmpty() && text.size() <= maximumTextLayerSize);
            m.textLayer = std::move(text);
        }
        return r.finished<Reply>(m);
    }
    case Type::pageFailed: {
        PageFailed m;
        r >> m.index;
        return r.finished<Reply>(m);
    }
    default:
        return std::nullopt;
    }
}

std::optional<Frame> FrameReader::next() {
    const qsizetype available = buffer_.size() - consumed_;
    if (invalid_ || available < 4) {
        return std::nullopt;
    }
    const char* start = buffer_.constData() + consumed_;
    const quint32 length = qFromBigEndian<quint32>(start);
    if (length < 4 || length > maximumFrameSize) {
        invalid_ = true;
        return std::nullopt;
    }
    if (available >= headerSize && qFromBigEndian<quint16>(start + 4) != version) {
        invalid_ = true;
        return std::nullopt;
    }
    if (available < qsizetype(4 + length)) {
        return std::nullopt;
    }
    Frame frame;
    frame.type = qFromBigEndian<quint16>(start + 6);
    frame.payload = QByteArray(start + headerSize, qsizetype(length) - 4);
    consumed_ += qsizetype(4 + length);
    // Bytes already taken are dropped now and then, not after every frame.
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    } else if (consumed_ > (qsizetype{16} << 20)) {
        buffer_.remove(0, consumed_);
        consumed_ = 0;
    }
    return frame;
}

} // namespace PdfReaderProtocol
