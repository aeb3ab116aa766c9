#include "ocr/TextRecognizer.h"

#include "ocr/TesseractSetup.h"
#include "pages/PixImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRect>
#include <QRegularExpression>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

namespace {

const QString dataSuffix = QStringLiteral(".traineddata");

// A Tesseract with a language loaded. Loading one costs about a thirtieth
// of a page's time, and a document's pages are read one after another on the same
// few threads: each thread keeps the engine of the language it read last
// (only that one, so a thread holds at most one language in memory).
struct LoadedEngine {
    QString folder;
    QString language;
    std::unique_ptr<tesseract::TessBaseAPI> api;
};

thread_local LoadedEngine threadEngine;

// The thread's engine for `language`, loaded when it has none for it; null
// when the language cannot be loaded.
tesseract::TessBaseAPI* engineFor(const QString& folder, const QString& language) {
    LoadedEngine& engine = threadEngine;
    if (engine.api && engine.folder == folder && engine.language == language) {
        return engine.api.get();
    }
    engine = {}; // the language read before goes before the next is loaded
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    if (api->Init(QFile::encodeName(folder).constData(), language.toUtf8().constData(),
                  tesseract::OEM_LSTM_ONLY) != 0) {
        return nullptr;
    }
    api->SetPageSegMode(tesseract::PSM_AUTO);
    // Scanned pages are dark print on light paper: the second look at lines
    // with their colours inverted (for white on black) finds nothing there
    // and costs a tenth of the time.
    api->SetVariable("tessedit_do_invert", "0");
    engine = {folder, language, std::move(api)};
    return engine.api.get();
}

// While a page is read: afterwards the engine forgets the page and the words
// it added to its document dictionary, so that what it reads on the next
// page depends on that page alone. An engine that failed is not kept.
class PageReading {
public:
    explicit PageReading(tesseract::TessBaseAPI& api) : api_(api) {}
    PageReading(const PageReading&) = delete;
    PageReading& operator=(const PageReading&) = delete;
    ~PageReading() {
        if (failed_) {
            threadEngine = {};
            return;
        }
        api_.Clear();
        api_.ClearAdaptiveClassifier();
    }
    void failed() { failed_ = true; }

private:
    tesseract::TessBaseAPI& api_;
    bool failed_ = false;
};

bool isLanguageCode(const QString& code) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_]+$"));
    return pattern.match(code).hasMatch();
}

bool cancelRequested(void* flag, int) {
    return static_cast<const std::atomic<bool>*>(flag)->load();
}

std::string number(double value) {
    return QUtil::double_to_string(value, 3, true);
}

// A text in the glyphless font's encoding: UTF-16 code units, one glyph
// each, in hexadecimal.
std::string hexText(const QString& text) {
    std::string hex = "<";
    for (const QChar c : text) {
        hex += QStringLiteral("%1").arg(c.unicode(), 4, 16, QChar(u'0')).toStdString();
    }
    return hex + ">";
}

// The invisible words of the recognised page, in the coordinates of a page
// of `pageHeight` points at `resolution` dpi: each word's glyphs are
// stretched over exactly its box on the image, and a space glyph over the
// gap to the next word of its line, so that text selection and search land
// on the words themselves. Words are as high as their line, standing on its
// lowest point (the font's glyphs rise one em from the baseline).
std::string wordsContent(tesseract::TessBaseAPI& api, const std::string& font, int resolution,
                         double pageHeight) {
    constexpr double glyphWidth = 0.5; // em, the font's only advance
    const double scale = 72.0 / resolution;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it) {
        return {};
    }
    std::string content = "BT\n3 Tr\n";
    int lineTop = 0, lineBottom = 0;
    struct Word {
        QString text;
        int left, right;
    };
    std::vector<Word> line;
    const auto flushLine = [&] {
        const double size = (lineBottom - lineTop) * scale;
        const double baseline = pageHeight - lineBottom * scale;
        if (size <= 0) {
            line.clear();
            return;
        }
        content += font + " " + number(size) + " Tf\n";
        for (std::size_t i = 0; i < line.size(); ++i) {
            const Word& word = line[i];
            const double width = (word.right - word.left) * scale;
            const double natural = double(word.text.size()) * glyphWidth * size;
            content += number(100.0 * width / natural) + " Tz 1 0 0 1 " +
                       number(word.left * scale) + " " + number(baseline) + " Tm " +
                       hexText(word.text) + " Tj\n";
            if (i + 1 < line.size() && line[i + 1].left > word.right) {
                const double gap = (line[i + 1].left - word.right) * scale;
                content += number(100.0 * gap / (glyphWidth * size)) + " Tz <0020> Tj\n";
            }
        }
        line.clear();
    };
    do {
        if (it->Empty(tesseract::RIL_WORD)) {
            continue;
        }
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            flushLine();
            int left = 0, right = 0;
            it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &lineTop, &right, &lineBottom);
        }
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        int left = 0, top = 0, right = 0, bottom = 0;
        it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom);
        const QString word = QString::fromUtf8(text.get()).trimmed();
        if (!word.isEmpty() && right > left) {
            line.push_back({word, left, right});
        }
    } while (it->Next(tesseract::RIL_WORD));
    flushLine();
    return content + "ET\n";
}

// A page in black and white, as Tesseract makes it by itself (dark where
// the grey is below the threshold Otsu's method finds for the whole page),
// without copying the grey page into Tesseract first. Leptonica's method
// wants a page of 16 pixels each way; Tesseract makes smaller ones.
PixImage blackAndWhite(Pix* page, tesseract::TessBaseAPI& api) {
    if (pixGetDepth(page) == 1) {
        return PixImage::adopt(pixClone(page));
    }
    Pix* made = nullptr;
    const int width = pixGetWidth(page), height = pixGetHeight(page);
    if (width >= 16 && height >= 16 &&
        pixOtsuAdaptiveThreshold(page, width, height, 0, 0, 0.0f, nullptr, &made) == 0) {
        return PixImage::adopt(made);
    }
    const PixImage unfinished = PixImage::adopt(made);
    api.SetImage(page);
    return PixImage::adopt(api.GetThresholdedImage());
}

// The part of a black-and-white page with ink on it and a tenth of an inch
// of white round it; nothing when the page is blank.
std::optional<QRect> inkedArea(Pix* binary, int resolution) {
    Box* found = nullptr;
    if (pixClipBoxToForeground(binary, nullptr, nullptr, &found) != 0 || !found) {
        return std::nullopt;
    }
    const std::unique_ptr<Box, void (*)(Box*)> box(found, [](Box* b) { boxDestroy(&b); });
    l_int32 x = 0, y = 0, width = 0, height = 0;
    if (boxGetGeometry(box.get(), &x, &y, &width, &height) != 0 || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const int margin = std::max(resolution / 10, 1);
    return QRect(x, y, width, height).adjusted(-margin, -margin, margin, margin) &
           QRect(0, 0, pixGetWidth(binary), pixGetHeight(binary));
}

// The folder Tesseract's own packages install their data into.
QString systemDataFolder() {
    return QStringLiteral(PAPERLARK_TESSDATA);
}

// The glyphless font Tesseract installs for its own searchable PDFs: one
// empty glyph, half an em wide and one em high, which stands for whatever
// character the text says. A folder of language data kept elsewhere need not
// hold it: then the system's copy serves. Read once; empty when it is missing.
const QByteArray& glyphlessFont() {
    static const QByteArray font = [] {
        for (const QString& folder : {TextRecognizer::dataFolder(), systemDataFolder()}) {
            QFile file(QDir(folder).filePath(QStringLiteral("pdf.ttf")));
            if (file.open(QIODevice::ReadOnly)) {
                return file.readAll();
            }
        }
        return QByteArray();
    }();
    return font;
}

// The recognised page as a one-page PDF as large as the image at its
// resolution: the words of wordsContent() in the glyphless font, as a
// Type 0 font whose two-byte codes are UTF-16 code units, every one drawn
// with the font's only glyph and read back as itself.
std::optional<QByteArray> textLayerPdf(tesseract::TessBaseAPI& api, QSize imageSize,
                                       int resolution) {
    if (glyphlessFont().isEmpty()) {
        return std::nullopt;
    }
    using Handle = QPDFObjectHandle;
    try {
        QPDF pdf;
        pdf.emptyPDF();
        const std::string fontFile = glyphlessFont().toStdString();
        Handle descriptor = Handle::parse("<< /Type /FontDescriptor /FontName /GlyphLessFont "
                                          "/Flags 5 /FontBBox [0 0 500 1000] /ItalicAngle 0 "
                                          "/Ascent 1000 /Descent -1 /CapHeight 1000 /StemV 80 >>");
        descriptor.replaceKey("/FontFile2", pdf.newStream(fontFile));
        // Every character code to the font's glyph 1.
        std::string glyphs(2 * 65536, '\0');
        for (std::size_t i = 1; i < glyphs.size(); i += 2) {
            glyphs[i] = '\1';
        }
        Handle cidFont = Handle::parse(
            "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /GlyphLessFont "
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 500 >>");
        cidFont.replaceKey("/FontDescriptor", pdf.makeIndirectObject(descriptor));
        cidFont.replaceKey("/CIDToGIDMap", pdf.newStream(glyphs));
        const std::string toUnicode = "/CIDInit /ProcSet findresource begin\n"
                                      "12 dict begin\n"
                                      "begincmap\n"
                                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) "
                                      "/Supplement 0 >> def\n"
                                      "/CMapName /Adobe-Identity-UCS def\n"
                                      "/CMapType 2 def\n"
                                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n"
                                      "1 beginbfrange\n<0000> <FFFF> <0000>\nendbfrange\n"
                                      "endcmap\n"
                                      "CMapName currentdict /CMap defineresource pop\n"
                                      "end\n"
                                      "end\n";
        Handle font = Handle::parse("<< /Type /Font /Subtype /Type0 /BaseFont /GlyphLessFont "
                                    "/Encoding /Identity-H >>");
        font.replaceKey("/DescendantFonts",
                        Handle::newArray(std::vector{pdf.makeIndirectObject(cidFont)}));
        font.replaceKey("/ToUnicode", pdf.newStream(toUnicode));

        const double scale = 72.0 / resolution;
        const double width = imageSize.width() * scale, height = imageSize.height() * scale;
        Handle fonts = Handle::newDictionary();
        fonts.replaceKey("/F0", pdf.makeIndirectObject(font));
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/Font", fonts);
        Handle page = Handle::newDictionary();
        page.replaceKey("/Type", Handle::newName("/Page"));
        page.replaceKey("/MediaBox",
                        Handle::parse("[0 0 " + number(width) + " " + number(height) + "]"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", pdf.newStream(wordsContent(api, "/F0", resolution, height)));
        QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)),
                                            false);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()),
                          qsizetype(buffer->getSize()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

QString TextRecognizer::Failure::description() const {
    switch (kind) {
    case Kind::missingLanguage:
        return QStringLiteral("The %1 language data for text recognition is not installed.")
            .arg(languageName(language));
    case Kind::cancelled:
        return QStringLiteral("Text recognition was cancelled.");
    case Kind::failed:
        break;
    }
    return QStringLiteral("The text on the page could not be recognised.");
}

QString TextRecognizer::dataFolder() {
    const QString chosen = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!chosen.isEmpty()) {
        const QFileInfo folder(chosen);
        if (folder.isDir()) {
            return folder.absoluteFilePath();
        }
    }
    return systemDataFolder();
}

QStringList TextRecognizer::installedLanguages() {
    QStringList languages;
    const QStringList files =
        QDir(dataFolder()).entryList({QStringLiteral("*") + dataSuffix}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QString code = file.chopped(dataSuffix.size());
        if (code != QStringLiteral("osd") && code != QStringLiteral("equ") &&
            isLanguageCode(code)) {
            languages.append(code);
        }
    }
    return languages;
}

QString TextRecognizer::languageName(const QString& code) {
    const QString base = code.section(u'_', 0, 0);
    const QString variant = code.section(u'_', 1);
    const QLocale::Language language = QLocale::codeToLanguage(base, QLocale::ISO639Part2);
    if (language == QLocale::AnyLanguage || language == QLocale::C) {
        return code;
    }
    QString name = QLocale::languageToString(language);
    if (variant == QStringLiteral("sim")) {
        name += QStringLiteral(" (Simplified)");
    } else if (variant == QStringLiteral("tra")) {
        name += QStringLiteral(" (Traditional)");
    } else if (!variant.isEmpty()) {
        name += QStringLiteral(" (%1)").arg(variant);
    }
    return name;
}

Result<TextLayer, TextRecognizer::Failure>
TextRecognizer::recognise(const QImage& image, double dpi, const QString& language,
                          const std::atomic<bool>* cancel) {
    const QString folder = dataFolder();
    if (!isLanguageCode(language) || !QFile::exists(QDir(folder).filePath(language + dataSuffix))) {
        return Failure::missingLanguage(language);
    }
    const int resolution = dpi > 1.0 ? int(std::lround(dpi)) : 300;
    const PixImage pix = PixImage::fromImage(image, resolution);
    if (!pix) {
        return Failure::failed();
    }
    TesseractSetup::ensure();
    tesseract::TessBaseAPI* const engine = engineFor(folder, language);
    if (!engine) {
        return Failure::missingLanguage(language);
    }
    tesseract::TessBaseAPI& api = *engine;
    PageReading reading(api);
    // Tesseract finds the page's layout on a black-and-white version of the
    // page, but reads the lines from the image it was given: given that
    // black-and-white version, it reads a clean scan as well, in three
    // quarters of the time.
    const PixImage binary = blackAndWhite(pix.get(), api);
    if (!binary) {
        reading.failed();
        return Failure::failed();
    }
    api.SetImage(binary.get());
    api.SetSourceResolution(resolution);
    // Tesseract analyses the layout of all the image it is given, and the
    // white margins round the text, a third of a typical page, hold nothing
    // to read. It reads the part with ink on it, with a little white round
    // it; the words' boxes stay in page coordinates.
    if (const std::optional<QRect> inked = inkedArea(binary.get(), resolution)) {
        api.SetRectangle(inked->x(), inked->y(), inked->width(), inked->height());
    }

    tesseract::ETEXT_DESC monitor;
    if (cancel) {
        monitor.cancel = cancelRequested;
        monitor.cancel_this = const_cast<std::atomic<bool>*>(cancel);
    }
    const int recognised = api.Recognize(&monitor);
    if (cancel && cancel->load()) {
        return Failure::cancelled();
    }
    if (recognised != 0) {
        reading.failed();
        return Failure::failed();
    }

    const std::optional<QByteArray> text = textLayerPdf(api, image.size(), resolution);
    if (!text) {
        return Failure::failed();
    }
    return TextLayer{*text};
}
