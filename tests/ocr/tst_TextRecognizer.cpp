#include "PageFixtures.h"

#include "ocr/TextRecognizer.h"
#include "pages/DocumentSaver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace PageFixtures;

namespace {

// How many of `expected` appear in `found` in the same order (the longest
// common subsequence of the two word lists).
qsizetype wordsInOrder(const QStringList& expected, const QStringList& found) {
    std::vector<qsizetype> previous(std::size_t(found.size()) + 1, 0), current = previous;
    for (const QString& word : expected) {
        for (qsizetype j = 0; j < found.size(); ++j) {
            current[std::size_t(j + 1)] =
                word == found[j] ? previous[std::size_t(j)] + 1
                                 : std::max(previous[std::size_t(j + 1)], current[std::size_t(j)]);
        }
        std::swap(previous, current);
    }
    return previous.back();
}

QString corners(const QRectF& box) {
    return QStringLiteral("%1,%2-%3,%4")
        .arg(box.left())
        .arg(box.top())
        .arg(box.right())
        .arg(box.bottom());
}

struct PdfWord {
    QString text;
    QRectF box; // points, top-left origin
};

// `pdftotext -bbox` of the first page.
QList<PdfWord> pdfWords(const QString& pdf) {
    static const QRegularExpression pattern(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<PdfWord> words;
    const QString html = run("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    for (auto match = pattern.globalMatch(html); match.hasNext();) {
        const auto m = match.next();
        words.append(
            {m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                   QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

// The words of a text layer and their boxes, as `pdftotext -bbox` reads them.
QStringList layerWords(const TextLayer& layer, const QString& file) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(layer.pdf) != layer.pdf.size()) {
        return {};
    }
    out.close();
    QStringList words;
    for (const PdfWord& word : pdfWords(file)) {
        words.append(word.text + u' ' + corners(word.box));
    }
    return words;
}

} // namespace

class tst_TextRecognizer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    std::shared_ptr<ScannedPage> page(const QImage& image, double dpi) {
        const QUrl source = write(path("source.png"), qtEncoded(image, "png", dpi));
        return ScannedPage::make(source, QUrl::fromLocalFile(path("cache")), 300, true).value();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void installedLanguagesAndNames();
    void languageDataFolderFromTessdataPrefix();
    void searchablePdfHasTheWordsWhereTheyAre();
    void failuresAreValues();
    void pagesReadOneAfterAnotherOrSideBySide();
};

void tst_TextRecognizer::installedLanguagesAndNames() {
    const QStringList languages = TextRecognizer::installedLanguages();
    QVERIFY(languages.contains(QStringLiteral("eng")));
    QVERIFY(!languages.contains(QStringLiteral("osd")));
    QCOMPARE(TextRecognizer::languageName("eng"), QStringLiteral("English"));
    QCOMPARE(TextRecognizer::languageName("chi_sim"), QStringLiteral("Chinese (Simplified)"));
    QCOMPARE(TextRecognizer::languageName("qqq"), QStringLiteral("qqq"));
}

void tst_TextRecognizer::languageDataFolderFromTessdataPrefix() {
    struct RestoredPrefix {
        const QByteArray before = qgetenv("TESSDATA_PREFIX");
        const bool wasSet = qEnvironmentVariableIsSet("TESSDATA_PREFIX");
        ~RestoredPrefix() {
            wasSet ? qputenv("TESSDATA_PREFIX", before) : qunsetenv("TESSDATA_PREFIX");
        }
    } restore;
    const TextPage text = textPage(QSize(900, 300), 300, 14, false);
    const auto kind = [&](const QString& language) {
        const auto result = TextRecognizer::recognise(text.image, 300, language);
        return result.ok() ? std::nullopt : std::optional(result.failure().kind);
    };
    qunsetenv("TESSDATA_PREFIX");
    const QString system = TextRecognizer::dataFolder();
    QVERIFY(TextRecognizer::installedLanguages().contains("eng"));
    QCOMPARE(kind("eng"), std::nullopt);

    // The language is read from the folder named, not from the system's,
    // even when this thread has the system's loaded already.
    const QString broken = path("broken-tessdata");
    QVERIFY(QDir().mkpath(broken));
    QFile damaged(broken + "/eng.traineddata");
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("not language data") > 0);
    damaged.close();
    qputenv("TESSDATA_PREFIX", QFile::encodeName(broken));
    QCOMPARE(TextRecognizer::dataFolder(), broken);
    QCOMPARE(kind("eng"), TextRecognizer::Failure::Kind::missingLanguage);

    // A folder of the user's own, holding one language under a code the
    // system's folder does not have (and no glyphless font): the picker
    // lists that language alone, and it reads.
    const QString own = path("own-tessdata");
    QVERIFY(QDir().mkpath(own));
    QVERIFY(QFile::link(QDir(system).filePath("eng.traineddata"), own + "/qaa.traineddata"));
    qputenv("TESSDATA_PREFIX", QFile::encodeName(own));
    QCOMPARE(TextRecognizer::dataFolder(), own);
    QCOMPARE(TextRecognizer::installedLanguages(), QStringList{"qaa"});
    const auto read = TextRecognizer::recognise(text.image, 300, "qaa");
    QVERIFY2(read.ok(), read.ok() ? "" : qPrintable(read.failure().description()));
    QStringList words = layerWords(read.value(), path("own.pdf"));
    words.replaceInStrings(QRegularExpression(" .*"), QString()); // the boxes go
    QVERIFY(wordsInOrder(text.words, words) >= text.words.size() * 9 / 10);
    QCOMPARE(kind("eng"), TextRecognizer::Failure::Kind::missingLanguage);

    // Set to nothing, or to a folder that is not there: the system's folder.
    for (const QByteArray& prefix : {QByteArray(), QFile::encodeName(path("missing"))}) {
        qputenv("TESSDATA_PREFIX", prefix);
        QCOMPARE(TextRecognizer::dataFolder(), system);
        QVERIFY(TextRecognizer::installedLanguages().contains("eng"));
    }
}

void tst_TextRecognizer::searchablePdfHasTheWordsWhereTheyAre() {
    // Part of an A4 page at 300 dpi: twelve lines of 11-point text.
    const int dpi = 300;
    const TextPage text = textPage(QSize(2480, 1500), dpi, 11, false);
    QVERIFY(text.words.size() > 80);
    const auto layer = TextRecognizer::recognise(text.image, dpi, "eng");
    QVERIFY2(layer.ok(), layer.ok() ? "" : qPrintable(layer.failure().description()));

    const auto scanned = page(text.image, dpi);
    const QUrl folder = QUrl::fromLocalFile(path("out"));
    const auto plain = DocumentSaver::save({scanned}, folder, "plain", OutputFormat::pdf, 85);
    const auto searchable = DocumentSaver::save({scanned}, folder, "searchable", OutputFormat::pdf,
                                                85, {layer.value()});
    QVERIFY(plain.ok() && searchable.ok());
    const QString pdf = searchable.value().front().toLocalFile();
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));
    QVERIFY(run("pdftotext", {plain.value().front().toLocalFile(), "-"}).trimmed().isEmpty());

    // At least 99 % of the words, in reading order.
    const QStringList found =
        run("pdftotext", {pdf, "-"}).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    const qsizetype matched = wordsInOrder(text.words, found);
    QVERIFY2(matched >= qsizetype(std::ceil(text.words.size() * 0.99)),
             qPrintable(QStringLiteral("%1 of %2 words").arg(matched).arg(text.words.size())));

    // Each word lies where it was drawn, within 2 points.
    const QList<PdfWord> words = pdfWords(pdf);
    QCOMPARE(words.size(), found.size());
    const double scale = 72.0 / dpi;
    int compared = 0;
    for (qsizetype i = 0, j = 0; i < text.words.size() && j < words.size(); ++i) {
        if (words[j].text != text.words[i]) {
            continue; // a word not recognised is not measured
        }
        const QRectF drawn(text.wordBoxes[i].topLeft() * scale, text.wordBoxes[i].size() * scale);
        const QRectF& box = words[j].box;
        const auto near = [](double a, double b) { return std::abs(a - b) <= 2.0; };
        QVERIFY2(near(box.left(), drawn.left()) && near(box.right(), drawn.right()) &&
                     near(box.center().y(), drawn.center().y()),
                 qPrintable(QStringLiteral("%1: drawn %2, found %3")
                                .arg(text.words[i], corners(drawn), corners(box))));
        ++compared;
        ++j;
    }
    QVERIFY(compared >= text.words.size() * 0.99);

    // The text is invisible: both documents look the same, pixel for pixel.
    run("pdftoppm", {"-r", "150", "-png", plain.value().front().toLocalFile(), path("plain")});
    run("pdftoppm", {"-r", "150", "-png", pdf, path("searchable")});
    const QImage plainImage(path("plain-1.png")), searchableImage(path("searchable-1.png"));
    QVERIFY(!plainImage.isNull());
    QCOMPARE(searchableImage, plainImage);
    // A compact page carries the same words in the same places.
    const auto compact =
        DocumentSaver::save({scanned}, folder, "compact", OutputFormat::pdf, 85, {layer.value()},
                            DocumentSaver::ColourPages::compactWherePossible);
    QVERIFY(compact.ok());
    const QString compactPdf = compact.value().front().toLocalFile();
    QCOMPARE(pdfImages(compactPdf).size(), 3); // background, foreground, mask
    QCOMPARE(run("pdftotext", {"-bbox", compactPdf, "-"}).section("<page", 1),
             run("pdftotext", {"-bbox", pdf, "-"}).section("<page", 1));
}

void tst_TextRecognizer::failuresAreValues() {
    const TextPage text = textPage(QSize(600, 300), 300, 11, true);

    // A language without data, or a name that is no language at all.
    for (const QString language : {"qqq", "../tessdata/eng", ""}) {
        const auto missing = TextRecognizer::recognise(text.image, 300, language);
        QCOMPARE(missing.failure().kind, TextRecognizer::Failure::Kind::missingLanguage);
    }
    QCOMPARE(TextRecognizer::recognise(text.image, 300, "deu").failure().description(),
             QStringLiteral("The German language data for text recognition is not installed."));

    // Cancelled before it starts: nothing is returned.
    const std::atomic<bool> cancel = true;
    const auto cancelled = TextRecognizer::recognise(text.image, 300, "eng", &cancel);
    QCOMPARE(cancelled.failure().kind, TextRecognizer::Failure::Kind::cancelled);
    QCOMPARE(cancelled.failure().description(), QStringLiteral("Text recognition was cancelled."));

    // Pages of extreme shapes, and an empty image, are no crash.
    QImage tall(1, 20000, QImage::Format_Grayscale8), wide(20000, 1, QImage::Format_Grayscale8);
    tall.fill(0);
    wide.fill(255);
    for (const QImage& image : {tall, wide, QImage()}) {
        const auto result = TextRecognizer::recognise(image, 300, "eng");
        if (!result.ok()) {
            QCOMPARE(result.failure().kind, TextRecognizer::Failure::Kind::failed);
        }
    }

    // A text layer that is no PDF: the page is saved without text.
    const auto scanned = page(text.image, 300);
    const auto saved = DocumentSaver::save({scanned}, QUrl::fromLocalFile(path("bad")), "Scan",
                                           OutputFormat::pdf, 85, {TextLayer{"not a PDF"}});
    QVERIFY(saved.ok());
    const QString pdf = saved.value().front().toLocalFile();
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));
    QVERIFY(run("pdftotext", {pdf, "-"}).trimmed().isEmpty());
}

void tst_TextRecognizer::pagesReadOneAfterAnotherOrSideBySide() {
    // Each thread keeps its engine from page to page: a page reads the same
    // whatever was read before it on that thread (another page, a language
    // that is missing, a cancelled page), and whatever other threads read at
    // the same time.
    const std::array<TextPage, 2> pages = {textPage(QSize(1400, 900), 300, 11, false),
                                           textPage(QSize(1200, 1000), 300, 14, false)};
    std::array<QStringList, 2> expected;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto layer = TextRecognizer::recognise(pages[i].image, 300, "eng");
        QVERIFY(layer.ok());
        expected[i] = layerWords(layer.value(), path(QStringLiteral("first-%1.pdf").arg(i)));
        QVERIFY(!pages[i].words.isEmpty());
        QVERIFY(expected[i].size() >= pages[i].words.size() * 9 / 10);
    }
    QVERIFY(expected[0] != expected[1]);

    QCOMPARE(TextRecognizer::recognise(pages[1].image, 300, "qqq").failure().kind,
             TextRecognizer::Failure::Kind::missingLanguage);
    const std::atomic<bool> cancel = true;
    QCOMPARE(TextRecognizer::recognise(pages[1].image, 300, "eng", &cancel).failure().kind,
             TextRecognizer::Failure::Kind::cancelled);
    const auto again = TextRecognizer::recognise(pages[0].image, 300, "eng");
    QVERIFY(again.ok());
    QCOMPARE(layerWords(again.value(), path("again.pdf")), expected[0]);

    // Three threads, each reading both pages in a different order.
    std::array<std::array<std::optional<TextLayer>, 2>, 3> read;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < read.size(); ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t n = 0; n < pages.size(); ++n) {
                const std::size_t i = (t + n) % pages.size();
                auto layer = TextRecognizer::recognise(pages[i].image, 300, "eng");
                if (layer) {
                    read[t][i] = std::move(layer).value();
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t t = 0; t < read.size(); ++t) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            QVERIFY(read[t][i].has_value());
            QCOMPARE(
                layerWords(*read[t][i], path(QStringLiteral("thread-%1-%2.pdf").arg(t).arg(i))),
                expected[i]);
        }
    }
}

QTEST_MAIN(tst_TextRecognizer)
#include "tst_TextRecognizer.moc"
