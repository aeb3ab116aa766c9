#pragma once

#include "Result.h"
#include "pages/TextLayer.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>

// Text recognition with Tesseract: one page image in, the invisible text
// layer that makes its PDF page searchable out. Any number of pages can be
// recognised at once on different threads, each on one core. Each thread
// keeps the language it read last loaded for its next page; what a page
// reads as depends on that page alone. Only language data already on the
// machine is used (see dataFolder()); nothing is ever downloaded.
class TextRecognizer {
public:
    struct Failure {
        enum class Kind {
            missingLanguage, // language: no data installed for it
            failed,          // Tesseract could not read the page
            cancelled,       // the caller asked it to stop
        };
        Kind kind = Kind::failed;
        QString language;

        static Failure missingLanguage(const QString& language) {
            return {Kind::missingLanguage, language};
        }
        static Failure failed() { return {Kind::failed, {}}; }
        static Failure cancelled() { return {Kind::cancelled, {}}; }

        QString description() const;
        bool operator==(const Failure&) const = default;
    };

    static inline const QString defaultLanguage = QStringLiteral("eng");

    // The folder of Tesseract's language data, chosen as Tesseract's own
    // tools choose it: the folder TESSDATA_PREFIX names (the one holding the
    // .traineddata files), when it is set and is a folder; otherwise the
    // folder Tesseract's packages install into. Looked up on every call.
    static QString dataFolder();

    // The codes of the languages in dataFolder() ("eng", "deu",
    // "chi_sim"...), sorted; Tesseract's script-detection data is not a
    // language.
    static QStringList installedLanguages();

    // A language's name for a picker: "English" for eng, "Chinese
    // (Simplified)" for chi_sim; the code itself when it is not known.
    static QString languageName(const QString& code);

    // Recognises the text on a page image (any format ImageFile::read
    // gives) at its resolution (300 dpi when it has none). `cancel`, when
    // given, is watched while Tesseract works; setting it ends the work early
    // with `cancelled`.
    static Result<TextLayer, Failure> recognise(const QImage& image, double dpi,
                                                const QString& language,
                                                const std::atomic<bool>* cancel = nullptr);
};
