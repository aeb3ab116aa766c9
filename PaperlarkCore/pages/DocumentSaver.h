#pragma once

#include "Result.h"
#include "pages/FolderFailure.h"
#include "pages/ImageFile.h"
#include "pages/ScannedPage.h"
#include "pages/TextLayer.h"
#include "settings/OutputFormat.h"

#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// Writes the page list as one PDF or as one JPEG/PNG per page, and names the
// files: a pattern whose braces hold date formats, cleaned into a safe file
// name, numbered so that no existing file is ever overwritten. Stateless.
// Calls block until done; inside, pages are decoded and compressed on worker
// threads (two at a time), while the files are written on the calling thread.
class DocumentSaver {
public:
    struct Failure {
        enum class Kind {
            pdfFailed,     // url: the PDF that could not be written
            nothingToSave, // no pages
            image,         // imageFailure: a page could not be read or written
            folder,        // folderFailure: the destination could not be created
        };
        Kind kind = Kind::nothingToSave;
        QUrl url;
        ImageFile::Failure imageFailure;
        FolderFailure folderFailure;

        static Failure pdfFailed(const QUrl& url) { return {Kind::pdfFailed, url, {}, {}}; }
        static Failure nothingToSave() { return {Kind::nothingToSave, {}, {}, {}}; }
        static Failure image(const ImageFile::Failure& failure) {
            return {Kind::image, failure.url, failure, {}};
        }
        static Failure folder(const FolderFailure& failure) {
            return {Kind::folder, failure.folder, {}, failure};
        }

        QString description() const;
    };

    using Pages = QList<std::shared_ptr<ScannedPage>>;
    // The text to lay invisibly over each page of a PDF, in page order; a
    // page without an entry (or with nothing in it) gets the text layer it
    // came with (ScannedPage::textLayerURL), if any, and otherwise no text.
    using TextLayers = QList<std::optional<TextLayer>>;

    static inline const QString defaultPattern = QStringLiteral("Scan_{yyyy-MM-dd_HHmmss}");
    static inline const QString defaultDateFormat = QStringLiteral("yyyy-MM-dd_HHmmss");
    static inline const QString fallbackName = QStringLiteral("Scan");

    // Replaces < > : " / \ | ? * and control characters with "_", trims
    // blanks at both ends, drops trailing full stops; "Scan" when nothing is left.
    static QString sanitise(const QString& name);

    // Expands each {format} in the pattern with the date (Unicode date-format
    // patterns, POSIX English locale, the current time zone) and sanitises.
    static QString buildBaseName(const QString& pattern, const QDateTime& date);

    // The moment formatted with a Unicode date pattern, in the POSIX English
    // locale and the current time zone; nothing when ICU rejects the pattern.
    static std::optional<QString> formatDate(const QString& pattern, const QDateTime& date);

    // The first of NAME.EXT, NAME (2).EXT, NAME (3).EXT ... that does not exist.
    static QUrl uniqueURL(const QUrl& folder, const QString& baseName,
                          const QString& fileExtension);

    // Writes the pages into `folder` (created when missing) and returns the
    // files written, in page order. Each file is created exclusively under
    // the first free name. On failure, files written for earlier pages stay,
    // and the file being written is removed. Text layers apply to PDFs only.
    static Result<QList<QUrl>, Failure> save(const Pages& pages, const QUrl& folder,
                                             const QString& baseName, OutputFormat format,
                                             int jpegQuality, const TextLayers& textLayers = {});

    // Writes all pages into one PDF at `url`, which must not exist yet (it is
    // created exclusively; an existing file is a pdfFailed). Each page's box
    // is pageRect() and its image covers exactly that box. Colour and grey
    // pages are embedded as JPEG at jpegQuality, black-and-white pages as
    // CCITT G4 (deflated once more where that helps; Flate alone where that
    // is smaller). A page's text layer, when given, lies invisibly over its
    // image; one that cannot be read is left out. A failed save removes the
    // partial file.
    static Result<void, Failure> savePDF(const Pages& pages, const QUrl& url, int jpegQuality,
                                         const TextLayers& textLayers = {});

    // The page's size in points at its resolution (300 dpi when it has none).
    static QRectF pageRect(const ScannedPage& page);
};
