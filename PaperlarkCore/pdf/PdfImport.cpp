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
    // A JPEG page, decoded at a reduced size and turned upright.
    QImage reduced;
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

// Checks a JPEG page: its header must state the announced size, and it is
// decoded in full (at an eighth of its size, for the thumbnail). False when
// the bytes are not such a JPEG.
bool checkJpeg(Incoming& in) {
    const QSize size(in.facts.width, in.facts.height);
    if (!in.bytes.startsWith("\xFF\xD8\xFF") || !ImageHeader::parse(in.bytes).complete) {
        return false;
    }
    QBuffer buffer;
    buffer.setData(in.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (reader.format() != "jpeg" || reader.size() != size) {
        return false;
    }
    reader.setScaledSize(QSize(std::max(1, (size.width() + jpegReduction - 1) / jpegReduction),
                               std::max(1, (size.height() + jpegReduction - 1) / jpegReduction)));
    QImage small;
    if (!reader.read(&small) || small.isNull()) {
        return false;
    }
    auto turned = ImageFile::rotate(ImageFile::normalised(small), in.facts.turns);
    if (!turned) {
        return false;
    }
    in.reduced = std::move(turned.value());
    return true;
}

// A checked JPEG page, kept as it is.
Result<std::shared_ptr<ScannedPage>, ScannedPage::Failure> jpegPage(const Incoming& in,
                                                                    const QUrl& cacheFolder) {
    const QUrl url = cacheFile(cacheFolder, QStringLiteral(".jpg"));
    if (!DurableFile::write(url.toLocalFile(), in.bytes)) {
        return ScannedPage::Failure{ImageFile::Failure::unwritable(url)};
    }
    const QSize size(in.facts.width, in.facts.height);
    const QSize upright = in.facts.turns % 2 ? size.transposed() : size;
    const double reducedDpi = in.facts.dpi * in.reduced.width() / upright.width();
    return std::make_shared<ScannedPage>(QUuid::createUuid(), url, QSizeF(upright), in.facts.dpi,
                                         ScannedPage::makeThumbnail(in.reduced),
                                         BlankPageDetector::inkShare(in.reduced, reducedDpi),
                                         in.facts.turns, keepTextLayer(in.textLayer, url));
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
    // A reader still at work on a page nobody waits for is stopped at once.
    ~Import() {
        if (!complete_) {
            client_.drop(PdfReaderClient::Status::stopped);
        }
    }
    Import(const Import&) = delete;
    Import& operator=(const Import&) = delete;

    // Every page asked for has been received.
    void completed() { complete_ = true; }

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

    // Asks for page `index`; false when the reader has gone.
    bool request(int index, bool render) { return client_.send(ReadPage{index, render}); }

    // Page `index` as the reader sends it, checked; nothing when the reader
    // could not read it (a failure) or broke off (see lost()). A page the
    // reader took as a JPEG that is not one is asked for again, drawn.
    Result<Incoming, Failure> receive(int index) {
        bool failed = false;
        std::optional<Incoming> in = receive(index, failed);
        if (in && in->facts.kind == Kind::jpeg && !checkJpeg(*in)) {
            in = request(index, true) ? receive(index, failed) : std::nullopt;
            if (in && in->facts.kind == Kind::jpeg) {
                client_.drop(PdfReaderClient::Status::died);
                in.reset();
            }
        }
        if (!in) {
            return failed ? failure(Failure::Kind::unreadable) : lost();
        }
        return std::move(*in);
    }

    // The cached page made of a checked page.
    Result<std::shared_ptr<ScannedPage>, Failure> build(const Incoming& in,
                                                        const QUrl& cacheFolder) const {
        auto made =
            in.facts.kind == Kind::jpeg ? jpegPage(in, cacheFolder) : rawPage(in, cacheFolder);
        if (!made) {
            Failure f = failure(Failure::Kind::page);
            f.pageFailure = made.failure();
            return f;
        }
        return std::move(made).value();
    }

    bool cancelled() const { return cancel_ && cancel_->load(); }

private:
    std::optional<Incoming> receive(int index, bool& failed) {
        failed = false;
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
        Incoming in{*start, {}, {}, {}};
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

    QUrl file_;
    const std::atomic<bool>* cancel_;
    PdfImport::Settings settings_;
    PdfReaderClient client_;
    bool complete_ = false;
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
    // The reader reads the next page while this thread caches the last one.
    if (!import.request(0, false)) {
        return import.lost();
    }
    for (int index = 0; index < count; ++index) {
        if (import.cancelled()) {
            return import.failure(Failure::Kind::cancelled);
        }
        auto in = import.receive(index);
        if (!in) {
            return in.failure();
        }
        if (index + 1 < count && !import.request(index + 1, false)) {
            return import.lost();
        }
        auto page = import.build(in.value(), cacheFolder);
        if (!page) {
            return page.failure();
        }
        if (events.page) {
            events.page(std::move(page).value(), index + 1, count);
        }
    }
    import.completed();
    return count;
}
