#include "pages/PdfWriter.h"

#include <QIODevice>
#include <QTemporaryFile>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Handle = QPDFObjectHandle;

// Numbers as the document states them; the page box and the drawing of the
// image use the same text, so they agree to the last digit.
std::string number(double value) {
    return QUtil::double_to_string(value, 6, true);
}

// Everything QPDFWriter writes goes to the device; a short write (a full
// disk, say) ends the write with an exception.
class DevicePipeline : public Pipeline {
public:
    explicit DevicePipeline(QIODevice& device) : Pipeline("output", nullptr), device_(device) {}
    void write(unsigned char const* data, size_t length) override {
        if (device_.write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
            throw std::runtime_error("cannot write the document");
        }
    }
    void finish() override {}

private:
    QIODevice& device_;
};

// Image data kept in the spool file, fed to QPDFWriter stream by stream.
class SpoolProvider : public Handle::StreamDataProvider {
public:
    struct Segment {
        qint64 offset;
        qint64 length;
    };

    explicit SpoolProvider(QIODevice& spool) : StreamDataProvider(false), spool_(spool) {}

    void add(QPDFObjGen stream, Segment segment) { segments_[stream] = segment; }

    void provideStreamData(QPDFObjGen const& stream, Pipeline* pipeline) override {
        const auto found = segments_.find(stream);
        if (found == segments_.end() || !spool_.seek(found->second.offset)) {
            throw std::runtime_error("image data missing");
        }
        QByteArray chunk;
        for (qint64 left = found->second.length; left > 0;) {
            chunk = spool_.read(std::min<qint64>(left, 256 * 1024));
            if (chunk.isEmpty()) {
                throw std::runtime_error("cannot read the spooled image data");
            }
            pipeline->write(reinterpret_cast<const unsigned char*>(chunk.constData()),
                            size_t(chunk.size()));
            left -= chunk.size();
        }
        pipeline->finish();
    }

private:
    QIODevice& spool_;
    std::map<QPDFObjGen, Segment> segments_;
};

// What an image is on its page: the page's whole picture, a picture drawn
// over a larger area than its pixels cover (smoothed by viewers that can),
// or a stencil through which another image shows.
enum class Role { picture, enlarged, stencil };

Handle imageDictionary(const PdfImage& image, Role role) {
    Handle dict = Handle::newDictionary();
    dict.replaceKey("/Type", Handle::newName("/XObject"));
    dict.replaceKey("/Subtype", Handle::newName("/Image"));
    dict.replaceKey("/Width", Handle::newInteger(image.pixels.width()));
    dict.replaceKey("/Height", Handle::newInteger(image.pixels.height()));
    if (role == Role::stencil) {
        dict.replaceKey("/ImageMask", Handle::newBool(true));
    } else {
        dict.replaceKey("/ColorSpace",
                        Handle::newName(image.colours == PdfImage::Colours::rgb ? "/DeviceRGB"
                                                                                : "/DeviceGray"));
    }
    if (role == Role::enlarged) {
        dict.replaceKey("/Interpolate", Handle::newBool(true));
    }
    dict.replaceKey("/BitsPerComponent", Handle::newInteger(image.bitsPerComponent));
    return dict;
}

Handle filterName(const PdfImage& image) {
    switch (image.filter) {
    case PdfImage::Filter::dct:
        return Handle::newName("/DCTDecode");
    case PdfImage::Filter::ccittG4:
        return Handle::newName("/CCITTFaxDecode");
    case PdfImage::Filter::flate:
        break;
    }
    return Handle::newName("/FlateDecode");
}

Handle decodeParameters(const PdfImage& image) {
    if (image.filter != PdfImage::Filter::ccittG4) {
        return Handle::newNull();
    }
    Handle parameters = Handle::newDictionary();
    parameters.replaceKey("/K", Handle::newInteger(-1));
    parameters.replaceKey("/Columns", Handle::newInteger(image.pixels.width()));
    parameters.replaceKey("/Rows", Handle::newInteger(image.pixels.height()));
    parameters.replaceKey("/BlackIs1", Handle::newBool(false));
    return parameters;
}

// The stream's /Filter and /DecodeParms: data deflated once more is read
// through FlateDecode first.
std::pair<Handle, Handle> filters(const PdfImage& image) {
    if (!image.deflated) {
        return {filterName(image), decodeParameters(image)};
    }
    Handle names = Handle::newArray();
    names.appendItem(Handle::newName("/FlateDecode"));
    names.appendItem(filterName(image));
    Handle parameters = Handle::newArray();
    parameters.appendItem(Handle::newNull());
    parameters.appendItem(decodeParameters(image));
    return {names, parameters};
}

} // namespace

struct PdfWriter::State {
    QTemporaryFile spool;
    bool spoolOpen = false;
    QPDF pdf;
    std::shared_ptr<SpoolProvider> provider;
    int pages = 0;
    int droppedTextLayers = 0;

    // The image's data spooled and its stream made; nothing when the data
    // cannot be spooled. Throws as qpdf does.
    std::optional<Handle> imageStream(const PdfImage& image, Role role) {
        const qint64 offset = spool.size();
        if (!spool.seek(offset) || spool.write(image.data) != image.data.size()) {
            return std::nullopt;
        }
        Handle stream = pdf.newStream();
        stream.replaceDict(imageDictionary(image, role));
        const auto [filter, parameters] = filters(image);
        stream.replaceStreamData(provider, filter, parameters);
        provider->add(stream.getObjGen(), {offset, image.data.size()});
        return stream;
    }

    // Adds a page that draws `content` with `xobjects`, and the text layer
    // over it. Throws as qpdf does.
    void addPage(QSizeF pageSize, Handle xobjects, std::string content, const TextLayer* text) {
        const std::string width = number(pageSize.width()), height = number(pageSize.height());
        if (text) {
            if (const auto layer = importText(*text)) {
                const auto& [form, size] = *layer;
                xobjects.replaceKey("/Tx0", form);
                content += "q\n" + number(pageSize.width() / size.width()) + " 0 0 " +
                           number(pageSize.height() / size.height()) + " 0 0 cm\n/Tx0 Do\nQ\n";
            } else {
                ++droppedTextLayers;
            }
        }
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/XObject", xobjects);

        Handle page = Handle::newDictionary();
        page.replaceKey("/Type", Handle::newName("/Page"));
        page.replaceKey("/MediaBox", Handle::parse("[0 0 " + width + " " + height + "]"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", pdf.newStream(content));
        QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)),
                                            false);
        ++pages;
    }

    // The text layer's page as a form XObject of this document, and the
    // size of its box; nothing when the layer cannot be read.
    std::optional<std::pair<Handle, QSizeF>> importText(const TextLayer& text) {
        try {
            QPDF source;
            source.setSuppressWarnings(true);
            source.setImmediateCopyFrom(true);
            source.processMemoryFile("text layer", text.pdf.constData(), size_t(text.pdf.size()));
            const std::vector<QPDFPageObjectHelper> sourcePages =
                QPDFPageDocumentHelper(source).getAllPages();
            if (sourcePages.size() != 1) {
                return std::nullopt;
            }
            QPDFPageObjectHelper page = sourcePages.front();
            const Handle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
            const QSizeF size(box.urx - box.llx, box.ury - box.lly);
            if (!(size.width() > 0) || !(size.height() > 0)) {
                return std::nullopt;
            }
            Handle form = page.getFormXObjectForPage(false);
            return std::pair{pdf.copyForeignObject(form), size};
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
};

PdfWriter::PdfWriter() : state_(std::make_unique<State>()) {
    state_->spoolOpen = state_->spool.open();
    state_->pdf.setSuppressWarnings(true);
    state_->pdf.emptyPDF();
    state_->provider = std::make_shared<SpoolProvider>(state_->spool);
}

PdfWriter::~PdfWriter() = default;

int PdfWriter::pageCount() const {
    return state_->pages;
}

int PdfWriter::droppedTextLayers() const {
    return state_->droppedTextLayers;
}

namespace {

bool validSize(QSizeF pageSize) {
    return pageSize.width() > 0 && pageSize.height() > 0;
}

// Draws an XObject over exactly the page box: no clip, no rounding.
std::string drawn(QSizeF pageSize, const char* name) {
    return "q\n" + number(pageSize.width()) + " 0 0 " + number(pageSize.height()) + " 0 0 cm\n" +
           name + " Do\nQ\n";
}

} // namespace

bool PdfWriter::addPage(QSizeF pageSize, const PdfImage& image, const TextLayer* text) {
    State& s = *state_;
    if (!s.spoolOpen || image.isNull() || !validSize(pageSize)) {
        return false;
    }
    try {
        const std::optional<Handle> stream = s.imageStream(image, Role::picture);
        if (!stream) {
            return false;
        }
        Handle xobjects = Handle::newDictionary();
        xobjects.replaceKey("/Im0", *stream);
        s.addPage(pageSize, xobjects, drawn(pageSize, "/Im0"), text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool PdfWriter::addPage(QSizeF pageSize, const CompactPage& page, const TextLayer* text) {
    State& s = *state_;
    if (!s.spoolOpen || page.background.isNull() || page.foreground.isNull() ||
        page.mask.isNull() || page.mask.bitsPerComponent != 1 || !validSize(pageSize)) {
        return false;
    }
    try {
        const std::optional<Handle> background = s.imageStream(page.background, Role::enlarged);
        std::optional<Handle> foreground = s.imageStream(page.foreground, Role::enlarged);
        const std::optional<Handle> mask = s.imageStream(page.mask, Role::stencil);
        if (!background || !foreground || !mask) {
            return false;
        }
        // The foreground shows only where its mask marks ink.
        Handle foregroundDict = foreground->getDict();
        foregroundDict.replaceKey("/Mask", *mask);
        Handle xobjects = Handle::newDictionary();
        xobjects.replaceKey("/Bg0", *background);
        xobjects.replaceKey("/Fg0", *foreground);
        s.addPage(pageSize, xobjects, drawn(pageSize, "/Bg0") + drawn(pageSize, "/Fg0"), text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool PdfWriter::write(QIODevice& device, const QString& producer) {
    State& s = *state_;
    if (s.pages == 0) {
        return false;
    }
    try {
        Handle info = Handle::newDictionary();
        info.replaceKey("/Producer", Handle::newUnicodeString(producer.toStdString()));
        info.replaceKey("/CreationDate", Handle::newString(QUtil::qpdf_time_to_pdf_time(
                                             QUtil::get_current_qpdf_time())));
        s.pdf.getTrailer().replaceKey("/Info", s.pdf.makeIndirectObject(info));

        DevicePipeline output(device);
        QPDFWriter writer(s.pdf);
        writer.setOutputPipeline(&output);
        // Images go out exactly as they were compressed; only the small
        // content streams are deflated on the way.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(true);
        writer.write();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
