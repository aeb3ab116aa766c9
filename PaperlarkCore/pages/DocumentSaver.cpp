#include "pages/DocumentSaver.h"
#include "settings/HorizontalSpace.h"

#include "buildinfo/BuildInfo.h"
#include "pages/NewFile.h"
#include "pages/PdfImage.h"
#include "pages/PdfWriter.h"

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace {

bool isInvalidNameCharacter(char32_t c) {
    switch (c) {
    case U'<':
    case U'>':
    case U':':
    case U'"':
    case U'/':
    case U'\\':
    case U'|':
    case U'?':
    case U'*':
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QString> DocumentSaver::formatDate(const QString& pattern, const QDateTime& date) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString icuPattern(reinterpret_cast<const char16_t*>(pattern.utf16()),
                                        int32_t(pattern.size()));
    icu::SimpleDateFormat formatter(icuPattern, icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    formatter.adoptTimeZone(icu::TimeZone::createDefault());
    icu::UnicodeString text;
    icu::FieldPosition position;
    formatter.format(UDate(date.toMSecsSinceEpoch()), text, position, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

namespace {

// Whether anything at all is at the path, including a dangling link.
bool pathExists(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

QString fileName(const QString& baseName, const QString& extension, int copy) {
    return copy < 2 ? QStringLiteral("%1.%2").arg(baseName, extension)
                    : QStringLiteral("%1 (%2).%3").arg(baseName).arg(copy).arg(extension);
}

// Creates the first free NAME.EXT, NAME (2).EXT ... exclusively. When a file
// appears under the chosen name before it can be created, the next free name
// is taken; the result is `failed` only for real errors.
std::unique_ptr<NewFile> createUniqueFile(const QUrl& folder, const QString& baseName,
                                          const QString& extension) {
    constexpr int attempts = 1000;
    std::unique_ptr<NewFile> file;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        file = std::make_unique<NewFile>(DocumentSaver::uniqueURL(folder, baseName, extension));
        if (file->status() != NewFile::Status::exists) {
            break;
        }
    }
    return file;
}

// A page decoded and encoded, ready to be written out.
struct PreparedPage {
    std::optional<ImageFile::Failure> unreadable;
    PdfImage pdfImage; // PDF: null when encoding failed
    bool encoded = false;
};

// Runs the jobs for pages 0...count-1 on worker threads, two at a time, and
// hands their results to consume(index, result) on the calling thread in
// page order. start(index) makes the job for a page; it too runs on the
// calling thread, in page order, just before the job is queued. Decoding and
// compressing dominate the cost of saving and are independent per page, so a
// multi-page document uses both cores; the window keeps the number of decoded
// pages in memory small. Stops after the first consume that returns false,
// once the jobs already started have finished.
// Threads of the saver's own, so that long tasks elsewhere in the program
// (a mail transfer, say) never hold up a save.
QThreadPool& savingThreads() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(2);
        return true;
    }();
    Q_UNUSED(configured);
    return pool;
}

template <typename Start, typename Consume>
bool runInPageOrder(qsizetype count, const Start& start, const Consume& consume) {
    const qsizetype window = std::clamp(QThread::idealThreadCount(), 1, 2);
    std::deque<QFuture<PreparedPage>> running;
    qsizetype next = 0;
    const auto launch = [&] {
        while (qsizetype(running.size()) < window && next < count) {
            running.push_back(QtConcurrent::run(&savingThreads(), start(next++)));
        }
    };
    launch();
    for (qsizetype index = 0; index < count; ++index) {
        PreparedPage prepared = running.front().takeResult();
        running.pop_front();
        launch();
        if (!consume(index, std::move(prepared))) {
            for (QFuture<PreparedPage>& future : running) {
                future.waitForFinished();
            }
            return false;
        }
    }
    return true;
}

// The bytes of a page's cache file when it is a JPEG of reasonable size
// whose pixels are the page's as they are (no turn recorded).
std::optional<QByteArray> storedJpeg(const ScannedPage& page) {
    constexpr qint64 maxBytes = qint64{64} << 20;
    const QString path = page.cacheURL().toLocalFile();
    if (page.cacheTurns() != 0 || !path.endsWith(QStringLiteral(".jpg"))) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes) {
        return std::nullopt;
    }
    return file.readAll();
}

// The text layer a page came with, when it has one that can be read.
std::optional<TextLayer> ownTextLayer(const ScannedPage& page) {
    if (page.textLayerURL().isEmpty()) {
        return std::nullopt;
    }
    QFile file(page.textLayerURL().toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > TextLayer::maxBytes) {
        return std::nullopt;
    }
    return TextLayer{file.readAll()};
}

// All pages into one PDF on an open file.
Result<void, DocumentSaver::Failure> writePDF(const DocumentSaver::Pages& pages,
                                              const DocumentSaver::TextLayers& textLayers,
                                              NewFile& file, int jpegQuality) {
    const DocumentSaver::Failure failed = DocumentSaver::Failure::pdfFailed(file.url());
    std::optional<DocumentSaver::Failure> failure;
    PdfWriter writer;
    const auto start = [&pages, jpegQuality](qsizetype index) {
        return [page = pages[index], jpegQuality] {
            PreparedPage prepared;
            // A page kept as the JPEG it came from, unturned, goes in as
            // that file when encoding it again could only lose detail.
            if (const std::optional<QByteArray> jpeg = storedJpeg(*page)) {
                prepared.pdfImage =
                    PdfImage::fromJpeg(*jpeg, page->pixelSize().toSize(), jpegQuality);
                if (!prepared.pdfImage.isNull()) {
                    prepared.encoded = true;
                    return prepared;
                }
            }
            auto decoded = page->loadFullImage();
            if (!decoded) {
                prepared.unreadable = decoded.failure();
                return prepared;
            }
            QImage image = std::move(decoded.value());
            prepared.pdfImage = image.format() == QImage::Format_Mono
                                    ? PdfImage::mono(image)
                                    : PdfImage::jpeg(image, page->dpi(), jpegQuality);
            prepared.encoded = !prepared.pdfImage.isNull();
            return prepared;
        };
    };
    const auto consume = [&](qsizetype index, PreparedPage prepared) {
        const QSizeF size = DocumentSaver::pageRect(*pages[index]).size();
        if (prepared.unreadable) {
            failure = DocumentSaver::Failure::image(*prepared.unreadable);
            return false;
        }
        const std::optional<TextLayer>* text =
            index < textLayers.size() ? &textLayers[index] : nullptr;
        const TextLayer* layer = text && text->has_value() ? &text->value() : nullptr;
        const std::optional<TextLayer> own = layer ? std::nullopt : ownTextLayer(*pages[index]);
        if (own) {
            layer = &*own;
        }
        const bool added = prepared.encoded && writer.addPage(size, prepared.pdfImage, layer);
        if (!added) {
            failure = failed;
        }
        return added;
    };
    if (!runInPageOrder(pages.size(), start, consume)) {
        return *failure;
    }
    const QString producer = QStringLiteral("%1 %2").arg(BuildInfo::product, BuildInfo::version());
    if (!writer.write(file.device(), producer) || !file.commit()) {
        return failed;
    }
    return {};
}

} // namespace

QString DocumentSaver::Failure::description() const {
    switch (kind) {
    case Kind::pdfFailed:
        return QStringLiteral("Could not write the PDF at %1.").arg(url.toLocalFile());
    case Kind::nothingToSave:
        break;
    case Kind::image:
        return imageFailure.description();
    case Kind::folder:
        return folderFailure.description();
    }
    return QStringLiteral("There are no scanned pages to save.");
}

QString DocumentSaver::sanitise(const QString& name) {
    QString cleaned;
    cleaned.reserve(name.size());
    for (const char32_t c : name.toUcs4()) {
        if (isInvalidNameCharacter(c) || QChar::category(c) == QChar::Other_Control) {
            cleaned += u'_';
        } else {
            cleaned += QString::fromUcs4(&c, 1);
        }
    }
    cleaned = HorizontalSpace::trimmed(cleaned);
    while (cleaned.endsWith(u'.')) {
        cleaned.chop(1);
    }
    return cleaned.isEmpty() ? fallbackName : cleaned;
}

QString DocumentSaver::buildBaseName(const QString& pattern, const QDateTime& date) {
    const QString source = HorizontalSpace::trimmed(pattern).isEmpty() ? defaultPattern : pattern;
    QString output;
    QString literal;
    std::optional<QString> token;
    for (const QChar c : source) {
        if (c == u'{') {
            output += literal;
            literal.clear();
            token = QString(); // an open token's text is dropped
        } else if (c == u'}' && token) {
            const QString format = token->isEmpty() ? defaultDateFormat : *token;
            // A format ICU rejects stays as its text.
            output += formatDate(format, date).value_or(format);
            token.reset();
        } else if (token) {
            *token += c;
        } else {
            literal += c;
        }
    }
    output += literal;
    if (token) {
        output += u'{' + *token;
    }
    return sanitise(output);
}

QUrl DocumentSaver::uniqueURL(const QUrl& folder, const QString& baseName,
                              const QString& fileExtension) {
    const QDir directory(folder.toLocalFile());
    for (int copy = 1;; ++copy) {
        const QString path = directory.filePath(fileName(baseName, fileExtension, copy));
        if (!pathExists(path)) {
            return QUrl::fromLocalFile(path);
        }
    }
}

Result<QList<QUrl>, DocumentSaver::Failure>
DocumentSaver::save(const Pages& pages, const QUrl& folder, const QString& baseName,
                    OutputFormat format, int jpegQuality, const TextLayers& textLayers) {
    if (pages.isEmpty()) {
        return Failure::nothingToSave();
    }
    if (auto failure = FolderFailure::createPath(folder)) {
        return Failure::folder(*failure);
    }
    const QString name = sanitise(baseName);
    const QString extension = fileExtension(format);

    if (format == OutputFormat::pdf) {
        const auto file = createUniqueFile(folder, name, extension);
        if (file->status() != NewFile::Status::created) {
            return Failure::pdfFailed(file->url());
        }
        if (auto written = writePDF(pages, textLayers, *file, jpegQuality); !written) {
            return written.failure();
        }
        return QList<QUrl>{file->url()};
    }

    // Each page's file is claimed (created exclusively, in page order) on
    // this thread before its job starts; the job decodes the page and encodes
    // it straight into the file.
    QList<QUrl> written;
    std::optional<Failure> failure;
    std::vector<std::shared_ptr<NewFile>> files(std::size_t(pages.size()));
    const auto start = [&](qsizetype index) {
        const QString pageName =
            pages.size() == 1
                ? name
                : QStringLiteral("%1_%2").arg(name).arg(qint64(index + 1), 2, 10, QChar(u'0'));
        std::shared_ptr<NewFile> file = createUniqueFile(folder, pageName, extension);
        files[std::size_t(index)] = file;
        return [page = pages[index], file, format, jpegQuality] {
            PreparedPage prepared;
            auto decoded = page->loadFullImage();
            if (!decoded) {
                prepared.unreadable = decoded.failure();
            } else if (file->status() == NewFile::Status::created) {
                const QImage& image = decoded.value();
                prepared.encoded =
                    format == OutputFormat::png
                        ? ImageFile::encodePNG(image, file->device(), page->dpi(),
                                               ImageFile::documentCompression)
                        : ImageFile::encodeJPEG(image, file->device(), page->dpi(), jpegQuality);
            }
            return prepared;
        };
    };
    const auto consume = [&](qsizetype index, PreparedPage prepared) {
        // Taken out of the list, so that a failed page's file goes right away.
        const std::shared_ptr<NewFile> file = std::move(files[std::size_t(index)]);
        if (prepared.unreadable) {
            failure = Failure::image(*prepared.unreadable);
            return false;
        }
        if (!prepared.encoded || !file->commit()) {
            failure = Failure::image(ImageFile::Failure::unwritable(file->url()));
            return false;
        }
        written.append(file->url());
        return true;
    };
    if (!runInPageOrder(pages.size(), start, consume)) {
        return *failure;
    }
    return written;
}

Result<void, DocumentSaver::Failure> DocumentSaver::savePDF(const Pages& pages, const QUrl& url,
                                                            int jpegQuality,
                                                            const TextLayers& textLayers) {
    if (pages.isEmpty()) {
        return Failure::nothingToSave();
    }
    NewFile file(url);
    if (file.status() != NewFile::Status::created) {
        return Failure::pdfFailed(url);
    }
    return writePDF(pages, textLayers, file, jpegQuality);
}

QRectF DocumentSaver::pageRect(const ScannedPage& page) {
    const double dpi = page.dpi() > 1.0 ? page.dpi() : 300.0;
    const QSizeF pixels = page.pixelSize();
    return {0, 0, pixels.width() / dpi * 72.0, pixels.height() / dpi * 72.0};
}
