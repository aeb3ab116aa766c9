#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

// The messages between the application and its PDF reader process
// (paperlark-pdf-reader), and their framing on a byte stream.
//
// Every message is one frame: a 32-bit length (big-endian) of what follows,
// a 16-bit protocol version, a 16-bit message type, then the message's
// fields in QDataStream form. A frame that is too long, of another version or
// an unknown type, or whose fields do not decode to exactly its length, is
// invalid: the side that receives it treats the other side as broken.
//
// The reader starts with Ready. The application then sends Open once and
// waits for Opened or OpenFailed, then one ReadPage at a time, each answered
// by PageStart, the page's bytes in PageData chunks, and PageEnd; or by
// PageFailed alone.
namespace PdfReaderProtocol {

constexpr quint16 version = 1;
// Page bytes travel in chunks of at most this size.
constexpr qsizetype chunkSize = qsizetype{1} << 20;
// The largest text layer the reader sends; a larger one is left out.
constexpr qsizetype maximumTextLayerSize = qsizetype{4} << 20;
// Far above any real message (chunks and text layers are bounded above).
constexpr quint32 maximumFrameSize = 6u << 20;

// ---- Application to reader ----

// Opens the PDF file at `path`.
struct Open {
    QString path;
};

// Reads page `index` (0-based). With `render`, the page is rendered even
// when it is one image.
struct ReadPage {
    qint32 index = 0;
    bool render = false;
};

// ---- Reader to application ----

struct Ready {};

struct Opened {
    qint32 pageCount = 0;
};

struct OpenFailed {
    enum class Problem { password = 1, unreadable = 2 };
    Problem problem = Problem::unreadable;
};

// What the bytes of a page are:
//  - jpeg: a JPEG file, to be turned `turns` quarter turns clockwise;
//  - mono: rows of (width + 7) / 8 bytes, leftmost pixel in the most
//    significant bit, 0 = black;
//  - grey: rows of width bytes;
//  - rgb: rows of 3 * width bytes (red, green, blue).
// Rows are not padded, and pixel data is always upright (turns 0).
enum class Kind { jpeg = 1, mono = 2, grey = 3, rgb = 4 };

struct PageStart {
    qint32 index = 0;
    Kind kind = Kind::rgb;
    // The size of the image the bytes hold, before any turn.
    qint32 width = 0;
    qint32 height = 0;
    double dpi = 0;
    qint32 turns = 0;
    // Drawn from the page rather than taken from an image in it.
    bool rendered = false;
    // How many bytes the PageData chunks bring in all.
    qint64 byteCount = 0;
};

struct PageData {
    QByteArray bytes;
};

struct PageEnd {
    // The page's invisible text, as a one-page PDF over the upright page
    // (see TextLayer); none when the page has none worth keeping.
    std::optional<QByteArray> textLayer;
};

struct PageFailed {
    qint32 index = 0;
};

using Request = std::variant<Open, ReadPage>;
using Reply = std::variant<Ready, Opened, OpenFailed, PageStart, PageData, PageEnd, PageFailed>;

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

    // The next complete frame, if one is there. Once the stream is found
    // invalid, never another one.
    std::optional<Frame> next();
    bool invalid() const { return invalid_; }
    // Bytes of a frame that has started but not ended.
    bool hasPartialFrame() const { return buffer_.size() > consumed_; }

private:
    QByteArray buffer_;
    qsizetype consumed_ = 0;
    bool invalid_ = false;
};

} // namespace PdfReaderProtocol
