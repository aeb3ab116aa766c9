#include "PdfReaderWorker.h"

#include <cerrno>
#include <type_traits>

#include <unistd.h>

using namespace PdfReaderProtocol;

PdfReaderWorker::PdfReaderWorker(int input, int output, PdfDocumentReader::Options options)
    : input_(input), output_(output), options_(options) {}

int PdfReaderWorker::run() {
    if (!send(Ready{})) {
        return 1;
    }
    for (;;) {
        if (const auto frame = frames_.next()) {
            const auto request = decodeRequest(*frame);
            if (!request) {
                return 2;
            }
            const bool answered = std::visit(
                [this](const auto& message) {
                    using M = std::decay_t<decltype(message)>;
                    if constexpr (std::is_same_v<M, Open>) {
                        return open(message);
                    } else {
                        return readPage(message);
                    }
                },
                *request);
            if (!answered) {
                return 1;
            }
            continue;
        }
        if (frames_.invalid()) {
            return 2;
        }
        char buffer[64 * 1024];
        const ssize_t got = ::read(input_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A message cut off by the end of the input is as bad as garbage.
            return frames_.hasPartialFrame() ? 2 : 0;
        }
        frames_.append(buffer, got);
    }
}

bool PdfReaderWorker::send(const Reply& reply) {
    const QByteArray bytes = encode(reply);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(output_, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false; // the application has gone
        }
        written += n;
    }
    return true;
}

bool PdfReaderWorker::open(const Open& request) {
    reader_ = std::make_unique<PdfDocumentReader>(options_);
    switch (reader_->openFile(request.path)) {
    case PdfDocumentReader::Opened::ok:
        return send(Opened{reader_->pageCount()});
    case PdfDocumentReader::Opened::password:
        reader_.reset();
        return send(OpenFailed{OpenFailed::Problem::password});
    case PdfDocumentReader::Opened::unreadable:
        break;
    }
    reader_.reset();
    return send(OpenFailed{OpenFailed::Problem::unreadable});
}

bool PdfReaderWorker::readPage(const ReadPage& request) {
    std::optional<PdfDocumentReader::Page> page;
    if (reader_) {
        page = reader_->readPage(request.index, request.render);
    }
    if (!page || page->bytes.isEmpty()) {
        return send(PageFailed{request.index});
    }
    if (!send(page->facts)) {
        return false;
    }
    for (qsizetype at = 0; at < page->bytes.size(); at += chunkSize) {
        if (!send(PageData{page->bytes.mid(at, chunkSize)})) {
            return false;
        }
    }
    page->bytes.clear();
    return send(PageEnd{std::move(page->textLayer)});
}
