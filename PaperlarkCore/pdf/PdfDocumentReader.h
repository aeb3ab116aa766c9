#pragma once

#include "pdf/PdfReaderProtocol.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

// Reads the pages of one PDF as page images: a page that is one image
// covering it (a scan) is taken as that image, its pixels and resolution
// exactly (a JPEG kept as its bytes, turned as the page shows it); any other
// page is drawn at the render resolution, white behind transparent areas.
// The invisible text over a scanned page comes along as its text layer.
//
// Structure and image streams are read with libqpdf, drawing is poppler's.
// A file libqpdf cannot read but poppler can is drawn page by page. Runs in
// the PDF reader process (paperlark-pdf-reader): the libraries it calls
// see data from anywhere, and a crash must cost only that process.
class PdfDocumentReader {
public:
    struct Options {
        double renderDpi = 300;
        // The largest image taken or drawn, in bytes at 32 bits per pixel;
        // its sides are at most maxSide.
        std::int64_t maxImageBytes = std::int64_t{1} << 30;
        int maxSide = 32767;
        // How long drawing one page may take before it is given up.
        std::chrono::milliseconds renderLimit{40000};
    };

    struct Page {
        // Everything but byteCount is filled in.
        PdfReaderProtocol::PageStart facts;
        QByteArray bytes;
        std::optional<QByteArray> textLayer;
    };

    enum class Opened { ok, password, unreadable };

    explicit PdfDocumentReader(Options options);
    ~PdfDocumentReader();
    PdfDocumentReader(const PdfDocumentReader&) = delete;
    PdfDocumentReader& operator=(const PdfDocumentReader&) = delete;

    Opened openFile(const QString& path);
    Opened openData(const QByteArray& data);
    int pageCount() const;

    // Page `index` (0-based); with `render`, drawn even when it is one image.
    // None when the page can be neither taken nor drawn.
    std::optional<Page> readPage(int index, bool render);

private:
    struct State;
    std::unique_ptr<State> state_;
};
