#include "pdf/PdfImport.h"

#include "pages/BlankPageDetector.h"
#include "pages/DurableFile.h"
#include "pages/ImageFile.h"
#include "pages/ImageHeader.h"
#include "pdf/PdfReaderClient.h"
#include "pdf/PdfReaderLocation.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

using namespace PdfReaderProtocol;
using Failure = PdfImportFailure;

// The largest JPEG taken from a reader.
constexpr qint64 maxJpegBytes = qint64{256} << 20;
// JPEG pages are measured for their thumbnail and blank-page check at an
// eighth of their size (libjpeg decodes that directly, and fast).
constexpr int jpegReduction = 8;

qint64 rowBytes(Kind kind, qint64 width) {
    switch (kind) {
    case Kind::mono:
        return (width + 7) / 8;
    case Kind::grey:
        return width;
    case Kind::rgb:
        return 3 * width;
    case Kind::jpeg:
        break;
    }
    return 0;
}

// A page as the reader announced it, with its bytes.
struct Incoming {
    PageStart facts;
    QByteArray bytes;
    std::optional<QByteArray> textLayer;
};

// Whether the announced facts are possible at all.
bool plausible(const PageStart& facts, int index) {
    const QSize size(facts.width, facts.height);
    if (facts.index != index || !ImageFile::fitsEveryOutput(size) || !(facts.dpi > 0) ||
        facts.dpi > 100000) {
        return false;
    }
    if (facts.kind == Kind::jpeg) {
        return facts.byteCount <= maxJpegBytes;
    }
    return facts.turns == 0 && facts.byteCount == rowBytes(facts.kind, facts.width) * facts.height;
}

QUrl cacheFile(const QUrl& cacheFolder, const QString& suffix) {
    return QUrl::fromLocalFile(
        QDir(cacheFolder.toLocalFile()).filePath(ScannedPage::makeCacheFileName(suffix)));
}

// The text layer beside the page's cache file; an empty URL when there is
// none or it cannot be written.
QUrl keepTextLayer(const std::optional<QByteArray>& layer, const QUrl& pageURL) {
    if (!layer) {
        return {};
    }
    const QUrl url = ScannedPage::textLayerURLFor(pageURL);
    return DurableFile::write(url.toLocalFile(), *layer) ? url : QUrl();
}

// A JPEG page: its header must state the announced size; it is decoded in
// full (at an eighth of its size) for the thumbnail, and kept as it is.
// Nothing when the bytes are not such a JPEG.
std::optional<Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>>
jpegPage(const Incoming& in, const QUrl& cacheFolder) {
    const QSize size(in.facts.width, in.facts.height);
    if (!in.bytes.startsWith("\xFF\xD8\xFF") || !ImageHeader::parse(in.bytes).complete) {
        return std::nullopt;
    }
    QBuffer buffer;
    buffer.setData(in.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (reader.format() != "jpeg" || reader.size() != size) {
        return std::nullopt;
    }
    reader.setScaledSize(QSize(std::max(1, (size.width() + jpegReduction - 1) / jpegReduction),
                               std::max(1, (size.height() + jpegReduction - 1) / jpegReduction)));
    QImage small;
    if (!reader.read(&small) || small.isNull()) {
        return std::nullopt;
    }
    const auto turned = ImageFile::rotate(ImageFile::normalised(small), in.facts.turns);
    if (!turned) {
        return std::nullopt;
    }
    const QUrl url = cacheFile(cacheFolder, QStringLiteral(".jpg"));
    if (!DurableFile::write(url.toLocalFile(), in.bytes)) {
        return Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>(
            ScannedPage::Failure{ImageFile::Failure::unwritable(url)});
    }
    const QSize upright = in.facts.turns % 2 ? size.transposed() : size;
    const double reducedDpi = in.facts.dpi * turned.value().width() / upright.width();
    return Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure>(
        std::make_shared<ScannedPage>(QUuid::createUuid(), url, QSizeF(upright), in.facts.dpi,
                                      ScannedPage::makeThumbnail(turned.value()),
                                      BlankPageDetector::inkShare(turned.value(), reducedDpi),
                                      in.facts.turns, keepTextLayer(in.textLayer, url)));
}

// Pixels in the protocol's raw layout, as an image in the form ImageFile
// gives; a null image when memory runs out.
QImage pixels(const Incoming& in) {
    const int width = in.facts.width, height = in.facts.height;
    const QImage::Format format = in.facts.kind == Kind::mono   ? QImage::Format_Mono
                                  : in.facts.kind == Kind::grey ? QImage::Format_Grayscale8
                                                                : QImage::Format_RGB888;
    QImage image(width, height, format);
    if (image.isNull()) {
        return image;
    }
    if (format == QImage::Format_Mono) {
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    const qsizetype row = qsizetype(rowBytes(in.facts.kind, width));
    for (int y = 0; y < height; ++y) {
        std::copy_n(in.bytes.constData() + y * row, row, image.scanLine(y));
    }
    return ImageFile::normalised(image);
}

Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure> rawPage(const Incoming& in,
                                                                   const QUrl& cacheFolder) {
    const QImage image = pixels(in);
    if (image.isNull()) {
        return ScannedPage::Failure{ImageFile::Failure::badContext()};
    }
    const QUrl url = cacheFile(cacheFolder, QStringLiteral(".png"));
    if (auto written = ImageFile::writePNG(image, url, in.facts.dpi); !written) {
        return ScannedPage::Failure{written.failure()};
    }
    return std::make_shared<ScannedPage>(QUuid::createUuid(), url, QSizeF(image.size()),
                                         in.facts.dpi, ScannedPage::makeThumbnail(image),
                                         BlankPageDetector::inkShare(image, in.facts.dpi), 0,
                                         keepTextLayer(in.textLayer, url));
}

class Import {
public:
    Import(const QUrl& file, const std::atomic<bool>* cancel, const PdfImport::Settings& settings)
        : file_(file), cancel_(cancel), settings_(settings),
          client_(settings.readerPath, settings.stallLimit) {}

    Failure failure(Failure::Kind kind) const {
        Failure f;
        f.kind = kind;
        f.file = file_;
        f.limit = settings_.maxPages;
        f.readerPath = settings_.readerPath;
        return f;
    }

    // Why the reader stopped, as the import's failure.
    Failure lost() const {
        switch (client_.status()) {
        case PdfReaderClient::Status::cancelled:
            return failure(Failure::Kind::cancelled);
        case PdfReaderClient::Status::unavailable:
            return failure(Failure::Kind::readerMissing);
        default:
            return failure(Failure::Kind::unreadable);
        }
    }

    Result<int, Failure> open() {
        if (!client_.start(cancel_)) {
            return lost();
        }
        if (!client_.send(Open{QFileInfo(file_.toLocalFile()).absoluteFilePath()})) {
            return lost();
        }
        const auto reply = client_.next(cancel_);
        if (!reply) {
            return lost();
        }
        if (const auto* failed = std::get_if<OpenFailed>(&*reply)) {
            return failure(failed->problem == OpenFailed::Problem::password
                               ? Failure::Kind::passwordProtected
                               : Failure::Kind::unreadable);
        }
        const auto* opened = std::get_if<Opened>(&*reply);
        if (!opened) {
            client_.drop(PdfReaderClient::Status::died);
            return lost();
        }
        if (opened->pageCount == 0) {
            return failure(Failure::Kind::empty);
        }
        if (opened->pageCount > settings_.maxPages) {
            return failure(Failure::Kind::tooManyPages);
        }
        return opened->pageCount;
    }

    // Page `index` as the reader sends it; nothing when the reader could not
    // read it (`failed` is then set) or broke off (see lost()).
    std::optional<Incoming> read(int index, bool render, bool& failed) {
        failed = false;
        if (!client_.send(ReadPage{index, render})) {
            return std::nullopt;
        }
        auto reply = client_.next(cancel_);
        if (!reply) {
            return std::nullopt;
        }
        if (const auto* pageFailed = std::get_if<PageFailed>(&*reply)) {
            failed = pageFailed->index == index;
            if (!failed) {
                client_.drop(PdfReaderClient::Status::died);
            }
            return std::nullopt;
        }
        const auto* start = std::get_if<PageStart>(&*reply);
        if (!start || !plausible(*start, index)) {
            client_.drop(PdfReaderClient::Status::died);
            return std::nullopt;
        }
        Incoming in{*start, {}, {}};
        in.bytes.reserve(qsizetype(start->byteCount));
        while (in.bytes.size() < start->byteCount) {
            reply = client_.next(cancel_);
            if (!reply) {
                return std::nullopt;
            }
            const auto* data = std::get_if<PageData>(&*reply);
            if (!data || data->bytes.size() > start->byteCount - in.bytes.size()) {
                client_.drop(PdfReaderClient::Status::died);
                return std::nullopt;
            }
            in.bytes.append(data->bytes);
        }
        reply = client_.next(cancel_);
        if (!reply) {
            return std::nullopt;
        }
        auto* end = std::get_if<PageEnd>(&*reply);
        if (!end) {
            client_.drop(PdfReaderClient::Status::died);
            return std::nullopt;
        }
        in.textLayer = std::move(end->textLayer);
        return in;
    }

    Result<std::shared_ptr<ScannedPage>, Failure> page(int index, const QUrl& cacheFolder) {
        bool failed = false;
        std::optional<Incoming> in = read(index, false, failed);
        if (in && in->facts.kind == Kind::jpeg) {
            if (auto made = jpegPage(*in, cacheFolder)) {
                return wrap(std::move(*made));
            }
            // Not the JPEG it claimed to be: the page drawn instead.
            in = read(index, true, failed);
        }
        if (!in) {
            return failed ? failure(Failure::Kind::unreadable) : lost();
        }
        if (in->facts.kind == Kind::jpeg) {
            client_.drop(PdfReaderClient::Status::died);
            return lost();
        }
        return wrap(rawPage(*in, cacheFolder));
    }

    bool cancelled() const { return cancel_ && cancel_->load(); }

private:
    Result<std::shared_ptr<ScannedPage>, Failure>
    wrap(Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure> made) const {
        if (!made) {
            Failure f = failure(Failure::Kind::page);
            f.pageFailure = made.failure();
            return f;
        }
        return std::move(made).value();
    }

    QUrl file_;
    const std::atomic<bool>* cancel_;
    PdfImport::Settings settings_;
    PdfReaderClient client_;
};

} // namespace

PdfImport::Settings PdfImport::Settings::defaults() {
    Settings settings;
    settings.readerPath = PdfReaderLocation::find();
    return settings;
}

bool PdfImport::isPdf(const QUrl& file) {
    if (!file.isLocalFile() || !QFileInfo(file.toLocalFile()).isFile()) {
        return false;
    }
    QFile in(file.toLocalFile());
    return in.open(QIODevice::ReadOnly) && in.read(1024).contains("%PDF-");
}

Result<int, PdfImportFailure> PdfImport::run(const QUrl& file, const QUrl& cacheFolder,
                                             const Events& events, const std::atomic<bool>* cancel,
                                             const Settings& settings) {
    Import import(file, cancel, settings);
    if (!file.isLocalFile() || !QFileInfo(file.toLocalFile()).isFile()) {
        return import.failure(Failure::Kind::unreadable);
    }
    if (auto folder = FolderFailure::createPath(cacheFolder)) {
        Failure f = import.failure(Failure::Kind::page);
        f.pageFailure = ScannedPage::Failure{*folder};
        return f;
    }
    const auto opened = import.open();
    if (!opened) {
        return opened.failure();
    }
    const int count = opened.value();
    if (events.opened) {
        events.opened(count);
    }
    for (int index = 0; index < count; ++index) {
        if (import.cancelled()) {
            return import.failure(Failure::Kind::cancelled);
        }
        auto page = import.page(index, cacheFolder);
        if (!page) {
            return page.failure();
        }
        if (events.page) {
            events.page(std::move(page).value(), index + 1, count);
        }
    }
    return count;
}
