#include "pdf/PdfDocumentReader.h"

#include "pages/ImageFile.h"
#include "pdf/PdfImageDecoder.h"
#include "pdf/PdfImagePlacement.h"
#include "pdf/PdfPageContent.h"
#include "pdf/PdfTextLayerBuilder.h"

#include <QFile>
#include <QVariant>

#include <poppler-qt6.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

using Handle = QPDFObjectHandle;
using namespace PdfReaderProtocol;

// The image's rows without padding, as the protocol carries them.
QByteArray packedRows(const QImage& image) {
    const qsizetype rowBytes = image.format() == QImage::Format_Mono ? (image.width() + 7) / 8
                               : image.format() == QImage::Format_Grayscale8
                                   ? image.width()
                                   : 3 * qsizetype(image.width());
    QByteArray bytes(rowBytes * image.height(), Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        std::copy_n(image.constScanLine(y), rowBytes, bytes.data() + y * rowBytes);
    }
    return bytes;
}

// Pixels in one of the protocol's raw kinds.
std::pair<Kind, QImage> wireImage(QImage image) {
    switch (image.format()) {
    case QImage::Format_Mono:
        return {Kind::mono, std::move(image)};
    case QImage::Format_Grayscale8:
        return {Kind::grey, std::move(image)};
    default:
        return {Kind::rgb, image.convertToFormat(QImage::Format_RGB888)};
    }
}

// A drawn page (premultiplied ARGB) on white, in the protocol's layout: grey
// when no pixel has colour, else RGB.
std::pair<Kind, QByteArray> onWhite(const QImage& premultiplied) {
    const int width = premultiplied.width(), height = premultiplied.height();
    bool grey = true;
    for (int y = 0; y < height && grey; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            // Premultiplied, the channels are equal exactly when they are
            // equal over white.
            const QRgb c = row[x];
            if (((c >> 16) & 0xff) != ((c >> 8) & 0xff) || ((c >> 8) & 0xff) != (c & 0xff)) {
                grey = false;
                break;
            }
        }
    }
    const qsizetype rowBytes = grey ? width : 3 * qsizetype(width);
    QByteArray bytes(rowBytes * height, Qt::Uninitialized);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
        auto* out = reinterpret_cast<uchar*>(bytes.data() + y * rowBytes);
        for (int x = 0; x < width; ++x) {
            const QRgb c = row[x];
            const unsigned white = 255 - qAlpha(c);
            if (grey) {
                out[x] = uchar(qBlue(c) + white);
            } else {
                out[3 * x] = uchar(qRed(c) + white);
                out[3 * x + 1] = uchar(qGreen(c) + white);
                out[3 * x + 2] = uchar(qBlue(c) + white);
            }
        }
    }
    return {grey ? Kind::grey : Kind::rgb, std::move(bytes)};
}

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// poppler's question during drawing: whether to give up.
bool pastDeadline(const QVariant& deadline) {
    return nowMs() > deadline.toLongLong();
}

std::optional<QRectF> rectangle(Handle box) {
    if (!box.isArray() || box.getArrayNItems() != 4) {
        return std::nullopt;
    }
    for (int i = 0; i < 4; ++i) {
        if (!box.getArrayItem(i).isNumber()) {
            return std::nullopt;
        }
    }
    const Handle::Rectangle r = box.getArrayAsRectangle();
    const QRectF rect = QRectF(QPointF(r.llx, r.lly), QPointF(r.urx, r.ury)).normalized();
    return rect.isEmpty() ? std::nullopt : std::optional(rect);
}

} // namespace

struct PdfDocumentReader::State {
    Options options;
    QString path;
    QByteArray data;
    std::unique_ptr<QPDF> qpdf;
    std::vector<QPDFPageObjectHelper> pages;
    std::unique_ptr<Poppler::Document> poppler;
    bool popplerTried = false;
    int count = 0;

    Poppler::Document* drawing() {
        if (!popplerTried) {
            popplerTried = true;
            static const bool silenced = [] {
                Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
                return true;
            }();
            Q_UNUSED(silenced);
            poppler = path.isEmpty() ? Poppler::Document::loadFromData(data)
                                     : Poppler::Document::load(path);
            if (poppler && !poppler->isLocked()) {
                poppler->setRenderHint(Poppler::Document::Antialiasing);
                poppler->setRenderHint(Poppler::Document::TextAntialiasing);
                poppler->setPaperColor(Qt::white);
            }
        }
        return poppler.get();
    }

    Opened open() {
        qpdf = std::make_unique<QPDF>();
        qpdf->setSuppressWarnings(true);
        try {
            if (path.isEmpty()) {
                qpdf->processMemoryFile("PDF", data.constData(), size_t(data.size()));
            } else {
                qpdf->processFile(QFile::encodeName(path).constData());
            }
            pages = QPDFPageDocumentHelper(*qpdf).getAllPages();
            count = int(std::min<std::size_t>(pages.size(), std::size_t(1) << 30));
            return Opened::ok;
        } catch (const QPDFExc& e) {
            if (e.getErrorCode() == qpdf_e_password) {
                return Opened::password;
            }
        } catch (const std::exception&) {
        }
        qpdf.reset();
        pages.clear();
        // What libqpdf cannot make out, poppler may still draw.
        Poppler::Document* document = drawing();
        if (!document) {
            return Opened::unreadable;
        }
        if (document->isLocked()) {
            return Opened::password;
        }
        count = document->numPages();
        return Opened::ok;
    }

    bool fits(QSize size) const {
        return !size.isEmpty() && size.width() <= options.maxSide &&
               size.height() <= options.maxSide &&
               std::int64_t(size.width()) * size.height() * 4 <= options.maxImageBytes;
    }

    std::optional<Page> scanned(int index) {
        QPDFPageObjectHelper& page = pages[std::size_t(index)];
        const PdfPageContent content = PdfPageContent::analyse(page);
        if (!content.isSingleImage()) {
            return std::nullopt;
        }
        Handle image = *content.image;
        Handle dict = image.getDict();
        Handle width = dict.getKey("/Width"), height = dict.getKey("/Height");
        if (!width.isInteger() || !height.isInteger() || width.getIntValue() <= 0 ||
            height.getIntValue() <= 0 || width.getIntValue() > options.maxSide ||
            height.getIntValue() > options.maxSide) {
            return std::nullopt;
        }
        const QSize pixels(int(width.getIntValue()), int(height.getIntValue()));
        if (!fits(pixels)) {
            return std::nullopt;
        }
        const auto media = rectangle(page.getAttribute("/MediaBox", false));
        if (!media) {
            return std::nullopt;
        }
        QRectF box = *media;
        if (const auto crop = rectangle(page.getAttribute("/CropBox", false))) {
            box = box.intersected(*crop);
        }
        Handle rotate = page.getAttribute("/Rotate", false);
        const auto placement = PdfImagePlacement::find(
            pixels, content.imageMatrix, box,
            PdfImagePlacement::normalisedRotation(rotate.isInteger() ? rotate.getIntValue() : 0),
            content.clip);
        if (!placement) {
            return std::nullopt;
        }
        auto decoded = PdfImageDecoder::decode(image, !placement->mirrored, options.maxImageBytes);
        if (!decoded) {
            return std::nullopt;
        }
        Page result;
        result.facts.dpi = placement->dpi;
        if (!decoded->jpeg.isEmpty()) {
            result.facts.kind = Kind::jpeg;
            result.facts.width = pixels.width();
            result.facts.height = pixels.height();
            result.facts.turns = placement->turns;
            result.bytes = std::move(decoded->jpeg);
        } else {
            QImage upright = std::move(decoded->pixels);
            if (placement->mirrored) {
                upright = upright.mirrored(true, false);
            }
            auto turned = ImageFile::rotate(upright, placement->turns);
            if (!turned) {
                return std::nullopt;
            }
            const auto [kind, wire] = wireImage(std::move(turned.value()));
            result.facts.kind = kind;
            result.facts.width = wire.width();
            result.facts.height = wire.height();
            result.bytes = packedRows(wire);
        }
        if (content.invisibleText) {
            result.textLayer = PdfTextLayerBuilder::build(page, image, placement->userToImage,
                                                          placement->size, maximumTextLayerSize);
        }
        return result;
    }

    std::optional<Page> drawn(int index) {
        Poppler::Document* document = drawing();
        if (!document || document->isLocked() || index >= document->numPages()) {
            return std::nullopt;
        }
        const std::unique_ptr<Poppler::Page> page = document->page(index);
        if (!page) {
            return std::nullopt;
        }
        const QSizeF points = page->pageSizeF();
        if (!(points.width() > 0) || !(points.height() > 0) || !std::isfinite(points.width()) ||
            !std::isfinite(points.height())) {
            return std::nullopt;
        }
        // Large pages are drawn at a lower resolution, within the limits.
        const double longest = std::max(points.width(), points.height());
        double dpi = std::min(options.renderDpi, (options.maxSide - 2) * 72.0 / longest);
        const double area = points.width() * points.height() / (72.0 * 72.0);
        dpi = std::min(dpi, std::sqrt(double(options.maxImageBytes) / 4.0 / area) * 0.99);
        if (!(dpi * longest / 72.0 >= 1.0)) {
            return std::nullopt;
        }
        const QVariant deadline(nowMs() + qint64(options.renderLimit.count()));
        QImage image = page->renderToImage(dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0,
                                           nullptr, nullptr, pastDeadline, deadline);
        if (image.isNull() || pastDeadline(deadline) || !fits(image.size())) {
            return std::nullopt;
        }
        if (image.format() != QImage::Format_ARGB32_Premultiplied &&
            image.format() != QImage::Format_RGB32) {
            image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (image.isNull()) {
                return std::nullopt;
            }
        }
        Page result;
        std::tie(result.facts.kind, result.bytes) = onWhite(image);
        result.facts.width = image.width();
        result.facts.height = image.height();
        result.facts.dpi = dpi;
        result.facts.rendered = true;
        return result;
    }
};

PdfDocumentReader::PdfDocumentReader(Options options) : state_(std::make_unique<State>()) {
    state_->options = options;
}

PdfDocumentReader::~PdfDocumentReader() = default;

PdfDocumentReader::Opened PdfDocumentReader::openFile(const QString& path) {
    state_->path = path;
    return state_->open();
}

PdfDocumentReader::Opened PdfDocumentReader::openData(const QByteArray& data) {
    state_->data = data;
    return state_->open();
}

int PdfDocumentReader::pageCount() const {
    return state_->count;
}

std::optional<PdfDocumentReader::Page> PdfDocumentReader::readPage(int index, bool render) {
    State& s = *state_;
    if (index < 0 || index >= s.count) {
        return std::nullopt;
    }
    std::optional<Page> page;
    if (s.qpdf && !render && std::size_t(index) < s.pages.size()) {
        try {
            page = s.scanned(index);
        } catch (const std::exception&) {
            page.reset();
        }
    }
    if (!page) {
        page = s.drawn(index);
    }
    if (page) {
        page->facts.index = index;
        page->facts.byteCount = page->bytes.size();
    }
    return page;
}
