#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>

#include <memory>

class QIODevice;
struct _cairo;
struct _cairo_surface;

// A PDF document written with cairo onto an open device, one page at a time.
// Page sizes are in points and kept exactly (595.2 x 841.92 stays fractional);
// every page can have its own size.
class PdfWriter {
public:
    PdfWriter(QIODevice& device, QSizeF firstPageSize);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // False once cairo or the device has reported an error.
    bool ok() const;

    // A page showing an encoded JPEG stretched over the whole page. The JPEG
    // data is embedded as it is (no decoding, no second compression).
    bool addJpegPage(QSizeF pageSize, QByteArray jpeg);

    // A page showing a black-and-white image (QImage::Format_Mono, 0 = black)
    // stretched over the whole page, embedded losslessly at 1 bit per pixel.
    bool addMonoPage(QSizeF pageSize, const QImage& mono);

    // Completes the document; false when anything went wrong on the way.
    bool finish();

    // Where cairo's output goes.
    struct Sink {
        QIODevice* device;
        bool failed = false;
    };

private:
    struct SurfaceDeleter {
        void operator()(_cairo_surface* surface) const;
    };
    struct ContextDeleter {
        void operator()(_cairo* context) const;
    };
    using Surface = std::unique_ptr<_cairo_surface, SurfaceDeleter>;
    using Context = std::unique_ptr<_cairo, ContextDeleter>;

    bool beginPage(QSizeF pageSize);
    bool endPage();

    Sink sink_;
    Surface surface_;
    Context context_;
};
