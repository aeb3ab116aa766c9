// The PDF reader's parsing, driven by arbitrary bytes: the file is opened
// and its first pages read as the reader process reads them (at a low
// drawing resolution, to keep each input fast), and the same bytes are fed
// to the protocol's frame reader as a reply stream. Built as a libFuzzer
// target when clang is the compiler, and replayed over a small corpus by
// the test suite.

#include "pdf/PdfDocumentReader.h"
#include "pdf/PdfReaderProtocol.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    PdfReaderProtocol::FrameReader frames;
    frames.append(bytes.constData(), bytes.size());
    while (const auto frame = frames.next()) {
        static_cast<void>(PdfReaderProtocol::decodeReply(*frame));
        static_cast<void>(PdfReaderProtocol::decodeRequest(*frame));
    }

    PdfDocumentReader::Options options;
    options.renderDpi = 24;
    options.maxImageBytes = std::int64_t{64} << 20;
    options.maxSide = 4096;
    options.renderLimit = std::chrono::milliseconds(3000);
    PdfDocumentReader reader(options);
    if (reader.openData(bytes) == PdfDocumentReader::Opened::ok) {
        for (int page = 0; page < std::min(reader.pageCount(), 3); ++page) {
            static_cast<void>(reader.readPage(page, false));
        }
    }
    return 0;
}
