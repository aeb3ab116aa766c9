#pragma once

#include "pdf/PdfDocumentReader.h"
#include "pdf/PdfReaderProtocol.h"

#include <memory>

// The PDF reader process's side of the protocol: reads requests from the
// application, reads the PDF, and answers. Single-threaded.
class PdfReaderWorker {
public:
    // Talks over the two file descriptors (read requests, write replies).
    PdfReaderWorker(int input, int output, PdfDocumentReader::Options options);

    PdfReaderWorker(const PdfReaderWorker&) = delete;
    PdfReaderWorker& operator=(const PdfReaderWorker&) = delete;

    // Serves until the application closes the input; the exit status: 0 for
    // a normal end, another value when the application sent something
    // invalid or could no longer be written to.
    int run();

private:
    bool send(const PdfReaderProtocol::Reply& reply);
    bool open(const PdfReaderProtocol::Open& request);
    bool readPage(const PdfReaderProtocol::ReadPage& request);

    int input_;
    int output_;
    PdfDocumentReader::Options options_;
    std::unique_ptr<PdfDocumentReader> reader_;
    PdfReaderProtocol::FrameReader frames_;
};
