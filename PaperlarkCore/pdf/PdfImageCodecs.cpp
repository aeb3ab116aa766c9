#include "pdf/PdfImageCodecs.h"

#include "pages/JpegErrorManager.h"
#include "pages/TiffMemoryFile.h"

#include <jbig2.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace PdfImageCodecs {

namespace {

bool fits(std::int64_t width, std::int64_t height, int components, int bits,
          std::int64_t maxBytes) {
    return width > 0 && height > 0 && width <= std::numeric_limits<int>::max() &&
           height <= std::numeric_limits<int>::max() &&
           (width * components * bits + 7) / 8 * height <= maxBytes;
}

// ---- CCITT fax, through libtiff --------------------------------------------

// The data as the one strip of a TIFF file in memory, then decoded by
// libtiff. libtiff's fax decoder gives 1 for black.
std::optional<QByteArray> faxThroughTiff(const QByteArray& data, const FaxParameters& p) {
    TiffMemoryFile file;
    {
        const TiffMemoryFile::Handle tiff = file.open("w");
        if (!tiff) {
            return std::nullopt;
        }
        TIFF* t = tiff.get();
        const bool g4 = p.k < 0;
        const std::uint32_t options =
            (p.k > 0 ? GROUP3OPT_2DENCODING : 0) | (p.encodedByteAlign ? GROUP3OPT_FILLBITS : 0);
        if (!TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(p.columns)) ||
            !TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(p.rows)) ||
            !TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1) ||
            !TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1) ||
            !TIFFSetField(t, TIFFTAG_COMPRESSION,
                          g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3) ||
            !TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) ||
            !TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) ||
            !TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(p.rows)) ||
            !(g4 ? TIFFSetField(t, TIFFTAG_GROUP4OPTIONS, 0)
                 : TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, options))) {
            return std::nullopt;
        }
        if (TIFFWriteRawStrip(t, 0, const_cast<char*>(data.constData()), data.size()) < 0 ||
            !TIFFWriteDirectory(t)) {
            return std::nullopt;
        }
    }
    file.position = 0;
    const TiffMemoryFile::Handle tiff = file.open("r");
    if (!tiff) {
        return std::nullopt;
    }
    const tmsize_t size = TIFFStripSize(tiff.get());
    QByteArray rows(qsizetype(size), '\0');
    if (size <= 0 || TIFFReadEncodedStrip(tiff.get(), 0, rows.data(), size) != size) {
        return std::nullopt;
    }
    return rows;
}

// ---- JBIG2, through jbig2dec -----------------------------------------------

// jbig2dec's memory, counted against a budget.
struct BudgetAllocator {
    Jbig2Allocator base;
    std::int64_t left = 0;

    static void* allocate(Jbig2Allocator* a, size_t size) {
        auto* self = reinterpret_cast<BudgetAllocator*>(a);
        if (std::int64_t(size) > self->left - std::int64_t(sizeof(size_t))) {
            return nullptr;
        }
        auto* block = static_cast<size_t*>(std::malloc(size + sizeof(size_t)));
        if (!block) {
            return nullptr;
        }
        *block = size;
        self->left -= std::int64_t(size);
        return block + 1;
    }
    static void release(Jbig2Allocator* a, void* p) {
        if (!p) {
            return;
        }
        auto* block = static_cast<size_t*>(p) - 1;
        reinterpret_cast<BudgetAllocator*>(a)->left += std::int64_t(*block);
        std::free(block);
    }
    static void* reallocate(Jbig2Allocator* a, void* p, size_t size) {
        if (!p) {
            return allocate(a, size);
        }
        void* fresh = allocate(a, size);
        if (!fresh) {
            return nullptr;
        }
        const size_t old = *(static_cast<size_t*>(p) - 1);
        std::memcpy(fresh, p, std::min(old, size));
        release(a, p);
        return fresh;
    }
};

void ignoreJbig2(void*, const char*, Jbig2Severity, uint32_t) {}

struct Jbig2Context {
    Jbig2Ctx* context = nullptr;
    ~Jbig2Context() {
        if (context) {
            jbig2_ctx_free(context);
        }
    }
};

struct Jbig2Globals {
    Jbig2GlobalCtx* globals = nullptr;
    ~Jbig2Globals() {
        if (globals) {
            jbig2_global_ctx_free(globals);
        }
    }
};

// ---- JPEG 2000, through OpenJPEG -------------------------------------------

struct MemoryStream {
    const QByteArray* data;
    OPJ_OFF_T position = 0;
};

OPJ_SIZE_T readStream(void* buffer, OPJ_SIZE_T size, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const OPJ_OFF_T left = OPJ_OFF_T(s->data->size()) - s->position;
    if (left <= 0) {
        return OPJ_SIZE_T(-1);
    }
    const auto count = std::min<OPJ_SIZE_T>(size, OPJ_SIZE_T(left));
    std::memcpy(buffer, s->data->constData() + s->position, count);
    s->position += OPJ_OFF_T(count);
    return count;
}

OPJ_OFF_T skipStream(OPJ_OFF_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const OPJ_OFF_T target = std::clamp<OPJ_OFF_T>(s->position + count, 0, s->data->size());
    const OPJ_OFF_T moved = target - s->position;
    s->position = target;
    return moved;
}

OPJ_BOOL seekStream(OPJ_OFF_T position, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    if (position < 0 || position > s->data->size()) {
        return OPJ_FALSE;
    }
    s->position = position;
    return OPJ_TRUE;
}

void ignoreOpenJpeg(const char*, void*) {}

struct OpenJpeg {
    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;
    ~OpenJpeg() {
        if (image) {
            opj_image_destroy(image);
        }
        if (stream) {
            opj_stream_destroy(stream);
        }
        if (codec) {
            opj_destroy_codec(codec);
        }
    }
};

std::uint8_t clampByte(double value) {
    return std::uint8_t(std::clamp(value + 0.5, 0.0, 255.0));
}

// ---- JPEG, through libjpeg -------------------------------------------------

// Runs libjpeg; free of objects with destructors, because libjpeg reports
// errors by longjmp.
bool readJpeg(jpeg_decompress_struct& in, JpegErrorManager& errors, const QByteArray& data,
              std::optional<int> transform, std::int64_t maxBytes, PdfSamples* out, bool headerOnly,
              JpegLayout* layout) {
    if (setjmp(errors.jump)) {
        return false;
    }
    jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&in, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    if (layout) {
        layout->width = int(in.image_width);
        layout->height = int(in.image_height);
        layout->components = in.num_components;
        layout->precision = in.data_precision;
        layout->ycc = in.num_components == 3 && in.jpeg_color_space == JCS_YCbCr;
    }
    if (headerOnly) {
        return true;
    }
    if (in.data_precision != 8) {
        return false;
    }
    switch (in.num_components) {
    case 1:
        in.out_color_space = JCS_GRAYSCALE;
        break;
    case 3:
        // ColorTransform 0 says the components are RGB as they stand.
        if (transform) {
            in.jpeg_color_space = *transform ? JCS_YCbCr : JCS_RGB;
        }
        in.out_color_space = JCS_RGB;
        break;
    case 4:
        if (transform) {
            in.jpeg_color_space = *transform ? JCS_YCCK : JCS_CMYK;
        }
        in.out_color_space = JCS_CMYK;
        break;
    default:
        return false;
    }
    if (!fits(in.image_width, in.image_height, in.num_components, 8, maxBytes)) {
        return false;
    }
    jpeg_start_decompress(&in);
    out->width = int(in.output_width);
    out->height = int(in.output_height);
    out->components = in.output_components;
    out->bitsPerComponent = 8;
    const std::int64_t rowBytes = out->rowBytes();
    out->data = QByteArray(qsizetype(rowBytes * out->height), '\0');
    while (in.output_scanline < in.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(out->data.data() +
                                                  std::int64_t(in.output_scanline) * rowBytes);
        if (jpeg_read_scanlines(&in, &row, 1) != 1) {
            return false;
        }
    }
    jpeg_finish_decompress(&in);
    // A stream that ran out early was padded by libjpeg: not the image.
    return in.err->num_warnings == 0;
}

std::optional<PdfSamples> runJpeg(const QByteArray& data, std::optional<int> transform,
                                  std::int64_t maxBytes, bool headerOnly, JpegLayout* layout) {
    if (data.isEmpty()) {
        return std::nullopt;
    }
    jpeg_decompress_struct in{};
    JpegErrorManager errors{};
    in.err = errors.install();
    jpeg_create_decompress(&in);
    PdfSamples samples;
    const bool ok = readJpeg(in, errors, data, transform, maxBytes, &samples, headerOnly, layout);
    jpeg_destroy_decompress(&in);
    return ok ? std::optional(std::move(samples)) : std::nullopt;
}

} // namespace

std::optional<PdfSamples> fax(const QByteArray& data, const FaxParameters& parameters,
                              std::int64_t maxBytes) {
    if (data.isEmpty() || !fits(parameters.columns, parameters.rows, 1, 1, maxBytes)) {
        return std::nullopt;
    }
    const std::optional<QByteArray> rows = faxThroughTiff(data, parameters);
    if (!rows) {
        return std::nullopt;
    }
    PdfSamples samples{parameters.columns, parameters.rows, 1, 1, *rows};
    if (!samples.complete()) {
        return std::nullopt;
    }
    if (!parameters.blackIs1) {
        for (char& byte : samples.data) {
            byte = char(~byte);
        }
    }
    return samples;
}

std::optional<PdfSamples> jbig2(const QByteArray& data, const QByteArray& globals,
                                std::int64_t maxBytes) {
    if (data.isEmpty()) {
        return std::nullopt;
    }
    // The decoder's working memory: the page and its symbol dictionaries.
    BudgetAllocator allocator{
        {BudgetAllocator::allocate, BudgetAllocator::release, BudgetAllocator::reallocate},
        2 * maxBytes + (std::int64_t{64} << 20)};
    Jbig2Globals globalContext;
    if (!globals.isEmpty()) {
        Jbig2Ctx* reader =
            jbig2_ctx_new(&allocator.base, JBIG2_OPTIONS_EMBEDDED, nullptr, ignoreJbig2, nullptr);
        if (!reader) {
            return std::nullopt;
        }
        if (jbig2_data_in(reader, reinterpret_cast<const unsigned char*>(globals.constData()),
                          size_t(globals.size())) < 0) {
            jbig2_ctx_free(reader);
            return std::nullopt;
        }
        globalContext.globals = jbig2_make_global_ctx(reader);
        if (!globalContext.globals) {
            return std::nullopt;
        }
    }
    Jbig2Context context;
    context.context = jbig2_ctx_new(&allocator.base, JBIG2_OPTIONS_EMBEDDED, globalContext.globals,
                                    ignoreJbig2, nullptr);
    if (!context.context ||
        jbig2_data_in(context.context, reinterpret_cast<const unsigned char*>(data.constData()),
                      size_t(data.size())) < 0) {
        return std::nullopt;
    }
    jbig2_complete_page(context.context);
    Jbig2Image* page = jbig2_page_out(context.context);
    if (!page) {
        return std::nullopt;
    }
    std::optional<PdfSamples> result;
    if (fits(page->width, page->height, 1, 1, maxBytes)) {
        PdfSamples samples{int(page->width), int(page->height), 1, 1, {}};
        const auto rowBytes = qsizetype(samples.rowBytes());
        samples.data = QByteArray(rowBytes * samples.height, '\0');
        if (page->stride >= std::uint32_t(rowBytes)) {
            for (int y = 0; y < samples.height; ++y) {
                const std::uint8_t* in = page->data + std::size_t(y) * page->stride;
                char* out = samples.data.data() + qsizetype(y) * rowBytes;
                // JBIG2 counts 1 as black; the filter delivers 0 for black.
                for (qsizetype i = 0; i < rowBytes; ++i) {
                    out[i] = char(~in[i]);
                }
            }
            result = std::move(samples);
        }
    }
    jbig2_release_page(context.context, page);
    return result;
}

std::optional<PdfSamples> jpx(const QByteArray& data, std::int64_t maxBytes) {
    if (data.size() < 12) {
        return std::nullopt;
    }
    // A JP2 file starts with its signature box; anything else is taken as a
    // bare code stream.
    const bool jp2 = data.startsWith(QByteArray("\x00\x00\x00\x0cjP  ", 8));
    OpenJpeg j;
    j.codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    MemoryStream source{&data};
    j.stream = opj_stream_create(64 * 1024, OPJ_TRUE);
    if (!j.codec || !j.stream) {
        return std::nullopt;
    }
    opj_set_info_handler(j.codec, ignoreOpenJpeg, nullptr);
    opj_set_warning_handler(j.codec, ignoreOpenJpeg, nullptr);
    opj_set_error_handler(j.codec, ignoreOpenJpeg, nullptr);
    opj_stream_set_user_data(j.stream, &source, nullptr);
    opj_stream_set_user_data_length(j.stream, OPJ_UINT64(data.size()));
    opj_stream_set_read_function(j.stream, readStream);
    opj_stream_set_skip_function(j.stream, skipStream);
    opj_stream_set_seek_function(j.stream, seekStream);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(j.codec, &parameters) || !opj_read_header(j.stream, j.codec, &j.image) ||
        !j.image) {
        return std::nullopt;
    }
    const opj_image_t& header = *j.image;
    const std::int64_t width = std::int64_t(header.x1) - header.x0;
    const std::int64_t height = std::int64_t(header.y1) - header.y0;
    int colours = int(header.numcomps);
    if (colours == 2) {
        colours = 1; // grey and alpha
    } else if (colours > 4) {
        colours = 3;
    }
    if (colours < 1 || !fits(width, height, std::max(colours, 4), 8, maxBytes)) {
        return std::nullopt;
    }
    if (!opj_decode(j.codec, j.stream, j.image) || !opj_end_decompress(j.codec, j.stream)) {
        return std::nullopt;
    }
    const opj_image_t& image = *j.image;
    for (int c = 0; c < colours; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        // Subsampled components are left to the renderer.
        if (!comp.data || std::int64_t(comp.w) != width || std::int64_t(comp.h) != height ||
            comp.prec < 1 || comp.prec > 31) {
            return std::nullopt;
        }
    }
    PdfSamples samples{int(width), int(height), colours, 8, {}};
    samples.data = QByteArray(qsizetype(samples.rowBytes() * height), '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(samples.data.data());
    const std::int64_t pixels = width * height;
    for (int c = 0; c < colours; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        const double maximum = double((std::int64_t{1} << comp.prec) - 1);
        const std::int64_t offset = comp.sgnd ? std::int64_t{1} << (comp.prec - 1) : 0;
        for (std::int64_t i = 0; i < pixels; ++i) {
            const double value = double(std::int64_t(comp.data[i]) + offset);
            out[i * colours + c] = clampByte(value * 255.0 / maximum);
        }
    }
    if (colours == 3 && image.color_space == OPJ_CLRSPC_SYCC) {
        for (std::int64_t i = 0; i < pixels; ++i) {
            std::uint8_t* p = out + i * 3;
            const double y = p[0], cb = p[1] - 128.0, cr = p[2] - 128.0;
            p[0] = clampByte(y + 1.402 * cr);
            p[1] = clampByte(y - 0.344136 * cb - 0.714136 * cr);
            p[2] = clampByte(y + 1.772 * cb);
        }
    }
    return samples;
}

std::optional<PdfSamples> jpeg(const QByteArray& data, std::optional<int> colourTransform,
                               std::int64_t maxBytes) {
    return runJpeg(data, colourTransform, maxBytes, false, nullptr);
}

std::optional<JpegLayout> jpegLayout(const QByteArray& data) {
    JpegLayout layout;
    if (!runJpeg(data, std::nullopt, 0, true, &layout)) {
        return std::nullopt;
    }
    return layout;
}

} // namespace PdfImageCodecs
