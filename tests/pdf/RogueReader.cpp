// A stand-in for paperlark-pdf-reader that breaks the protocol in the way
// PAPERLARK_ROGUE names, for the tests of what the application accepts.

#include "pdf/PdfReaderProtocol.h"

#include <QByteArray>

#include <cstdlib>
#include <thread>

#include <unistd.h>

using namespace PdfReaderProtocol;

namespace {

void put(const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(STDOUT_FILENO, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0) {
            std::_Exit(1);
        }
        written += n;
    }
}

void answerPage(const QByteArray& mode) {
    PageStart start;
    start.kind = Kind::rgb;
    start.width = 10;
    start.height = 10;
    start.dpi = 100;
    start.byteCount = 300;
    if (mode == "hang") {
        std::this_thread::sleep_for(std::chrono::hours(1));
    } else if (mode == "crash") {
        std::abort();
    } else if (mode == "short-count") {
        start.byteCount = 299; // not what 10 x 10 RGB pixels take
        put(encode(start));
    } else if (mode == "too-many-bytes") {
        put(encode(start));
        put(encode(PageData{QByteArray(200, 'x')}));
        put(encode(PageData{QByteArray(200, 'x')}));
    } else if (mode == "huge") {
        start.width = 40000;
        start.byteCount = 3 * 40000 * 10;
        put(encode(start));
    } else if (mode == "wrong-index") {
        start.index = 7;
        put(encode(start));
    } else if (mode == "fake-jpeg") {
        // Claims a JPEG, sends noise; asked to draw the page, does it again.
        start.kind = Kind::jpeg;
        start.byteCount = 100;
        put(encode(start));
        put(encode(PageData{QByteArray(100, 'x')}));
        put(encode(PageEnd{}));
    } else if (mode == "silent-after-start") {
        put(encode(start));
        std::this_thread::sleep_for(std::chrono::hours(1));
    } else {
        put(QByteArray("\x00\x00\x00\x08\x00\x07\x00\x65garbage", 15));
    }
}

} // namespace

int main() {
    const QByteArray mode = qgetenv("PAPERLARK_ROGUE");
    put(encode(Ready{}));
    FrameReader frames;
    for (;;) {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            return 0;
        }
        frames.append(buffer, got);
        while (const auto frame = frames.next()) {
            const auto request = decodeRequest(*frame);
            if (!request) {
                return 2;
            }
            if (std::holds_alternative<Open>(*request)) {
                if (mode == "bad-open") {
                    put(encode(PageEnd{}));
                } else {
                    put(encode(Opened{1}));
                }
            } else {
                answerPage(mode);
            }
        }
    }
}
