#include "pages/PdfWriter.h"

#include <QIODevice>

#include <cairo-pdf.h>
#include <cairo.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

cairo_status_t writeToDevice(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PdfWriter::Sink*>(closure);
    if (sink->device->write(reinterpret_cast<const char*>(data), qint64(length)) !=
        qint64(length)) {
        sink->failed = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

// Bits of a byte in reverse order, for cairo's 1-bit layout on
// little-endian machines (first pixel in the least significant bit).
const std::array<std::uint8_t, 256>& reversedBits() {
    static const auto table = [] {
        std::array<std::uint8_t, 256> result{};
        for (int byte = 0; byte < 256; ++byte) {
            int reversed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (byte & (1 << bit)) {
                    reversed |= 0x80 >> bit;
                }
            }
            result[std::size_t(byte)] = std::uint8_t(reversed);
        }
        return result;
    }();
    return table;
}

void destroyByteArray(void* data) {
    delete static_cast<QByteArray*>(data);
}

} // namespace

void PdfWriter::SurfaceDeleter::operator()(cairo_surface_t* surface) const {
    cairo_surface_destroy(surface);
}

void PdfWriter::ContextDeleter::operator()(cairo_t* context) const {
    cairo_destroy(context);
}

PdfWriter::PdfWriter(QIODevice& device, QSizeF firstPageSize) : sink_{&device} {
    // cairo keeps a pointer to sink_, which lives as long as the surface.
    surface_.reset(cairo_pdf_surface_create_for_stream(writeToDevice, &sink_, firstPageSize.width(),
                                                       firstPageSize.height()));
    if (cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS) {
        context_.reset(cairo_create(surface_.get()));
    }
}

PdfWriter::~PdfWriter() = default;

bool PdfWriter::ok() const {
    return !sink_.failed && surface_ && context_ &&
           cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS &&
           cairo_status(context_.get()) == CAIRO_STATUS_SUCCESS;
}

bool PdfWriter::beginPage(QSizeF pageSize) {
    if (!ok() || !(pageSize.width() > 0) || !(pageSize.height() > 0)) {
        return false;
    }
    cairo_pdf_surface_set_size(surface_.get(), pageSize.width(), pageSize.height());
    return ok();
}

bool PdfWriter::endPage() {
    cairo_show_page(context_.get());
    return ok();
}

bool PdfWriter::addJpegPage(QSizeF pageSize, QByteArray jpeg) {
    if (!beginPage(pageSize)) {
        return false;
    }
    // cairo embeds JPEG data attached to a surface as it is, taking width,
    // height and components from the JPEG header, and never reads the
    // surface's pixels. A 1 x 1 surface therefore carries the page image
    // without a full-size pixel buffer (which cairo would also copy).
    const Surface carrier(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
    auto owned = std::make_unique<QByteArray>(std::move(jpeg));
    const auto* data = reinterpret_cast<const unsigned char*>(owned->constData());
    const auto length = static_cast<unsigned long>(owned->size());
    if (cairo_surface_set_mime_data(carrier.get(), CAIRO_MIME_TYPE_JPEG, data, length,
                                    destroyByteArray, owned.get()) != CAIRO_STATUS_SUCCESS) {
        return false;
    }
    owned.release(); // now owned by the surface's mime data
    cairo_t* cr = context_.get();
    cairo_save(cr);
    cairo_scale(cr, pageSize.width(), pageSize.height());
    cairo_set_source_surface(cr, carrier.get(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    return endPage();
}

bool PdfWriter::addMonoPage(QSizeF pageSize, const QImage& mono) {
    if (!beginPage(pageSize) || mono.format() != QImage::Format_Mono) {
        return false;
    }
    // The black pixels become a 1-bit stencil painted black on a white page.
    const Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A1, mono.width(), mono.height()));
    if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) {
        return false;
    }
    cairo_surface_flush(mask.get());
    unsigned char* bits = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    const int rowBytes = (mono.width() + 7) / 8;
    const auto& reverse = reversedBits();
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* in = mono.constScanLine(y);
        unsigned char* out = bits + std::ptrdiff_t(y) * stride;
        for (int i = 0; i < rowBytes; ++i) {
            const auto black = std::uint8_t(~in[i]);
            out[i] = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? reverse[black] : black;
        }
        if (const int rest = mono.width() % 8) { // clear the padding bits
            const std::uint8_t keep = std::uint8_t(0xFF00 >> rest);
            out[rowBytes - 1] &= Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? reverse[keep] : keep;
        }
        std::memset(out + rowBytes, 0, std::size_t(stride - rowBytes));
    }
    cairo_surface_mark_dirty(mask.get());

    cairo_t* cr = context_.get();
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, pageSize.width() / mono.width(), pageSize.height() / mono.height());
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_mask_surface(cr, mask.get(), 0, 0);
    cairo_restore(cr);
    return endPage();
}

bool PdfWriter::finish() {
    if (!surface_) {
        return false;
    }
    const bool wasOk = ok();
    context_.reset();
    cairo_surface_finish(surface_.get());
    const bool finished = cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS;
    surface_.reset();
    return wasOk && finished && !sink_.failed;
}
