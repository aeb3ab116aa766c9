#include "PageFixtures.h"

#include "pages/DocumentSaver.h"

#include "pages/MonoBits.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>

using namespace PageFixtures;

namespace {

// 6 December 2026, 01:30:05 in the zone the tests run in.
QDateTime fixedMoment() {
    return QDateTime(QDate(2026, 12, 6), QTime(1, 30, 5), QTimeZone("Europe/Berlin"));
}

// Data rows of an input and what it becomes, one line each.
void addRows(std::initializer_list<std::pair<const char*, std::pair<QString, QString>>> rows) {
    for (const auto& [row, values] : rows) {
        QTest::newRow(row) << values.first << values.second;
    }
}

QStringList fileNames(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System,
                                  QDir::Name);
}

} // namespace

class tst_DocumentSaver : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }

    std::shared_ptr<ScannedPage> page(const QImage& image, double dpi) {
        const QUrl source = write(path("source.png"), qtEncoded(image, "png", dpi));
        return ScannedPage::make(source, url("cache"), 300, true).value();
    }

private Q_SLOTS:
    void initTestCase();
    void sanitiseCleansNames_data();
    void sanitiseCleansNames();
    void patternsExpandDates_data();
    void patternsExpandDates();
    void uniqueURLSkipsEverythingThatExists();
    void imagesAreNumberedAndNeverOverwrite();
    void pdfHasExactPagesAndCompactImages();
    void blackAndWhiteIsCcittOrFlateAndLossless();
    void storedJpegGoesInAsItIsWhenNoFiner();
    void failuresAndTheirTexts();
    void fullDiskLeavesNoPdf();
};

void tst_DocumentSaver::initTestCase() {
    QVERIFY(dir_.isValid());
    // Before anything asks ICU or Qt for the local zone.
    qputenv("TZ", "Europe/Berlin");
}

void tst_DocumentSaver::sanitiseCleansNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    addRows({
        {"nine invalid characters", {"<>:\"/\\|?*", "_________"}},
        {"controls", {"tab\there\nand\r\x01", "tab_here_and__"}},
        {"C1 control", {"a\u0085b", "a_b"}},
        {"blanks trimmed", {"\u00A0 name\u3000", "name"}},
        {"a tab is a control, not a blank", {"name\t", "name_"}},
        {"trailing full stops", {"report...", "report"}},
        {"blank before a full stop stays", {"a . ", "a "}},
        {"only full stops", {"...", "Scan"}},
        {"empty", {"", "Scan"}},
        {"beyond the basic plane", {"scan \U0001F4C4", "scan \U0001F4C4"}},
        {"format character is not blank", {"x\u200B", "x\u200B"}},
    });
}

void tst_DocumentSaver::sanitiseCleansNames() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(DocumentSaver::sanitise(name), expected);
}

void tst_DocumentSaver::patternsExpandDates_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    // (How the expanded name is cleaned is sanitise's own table above.)
    addRows({
        {"blank", {" \t ", "Scan_2026-12-06_013005"}},
        {"empty braces", {"{}", "2026-12-06_013005"}},
        {"slashes", {"Invoice {dd/MM/yyyy}", "Invoice 06_12_2026"}},
        {"stray closing brace", {"a}b", "a}b"}},
        {"unclosed brace", {"Scan {yyyy", "Scan {yyyy"}},
        {"braces do not nest", {"a{b{yyyy}", "a2026"}},
        {"names in English", {"{EEE d MMM yyyy}", "Sun 6 Dec 2026"}},
        {"quoted literal", {"{'at' HH'h'}", "at 01h"}},
        {"zone offset", {"{ZZZZZ}", "+01_00"}},
    });
}

void tst_DocumentSaver::patternsExpandDates() {
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(DocumentSaver::buildBaseName(pattern, fixedMoment()), expected);
    // The moment, not the zone it was given in, decides: 00:30:05 UTC is
    // 01:30:05 here.
    const QDateTime utc(QDate(2026, 12, 6), QTime(0, 30, 5), QTimeZone::utc());
    QCOMPARE(DocumentSaver::buildBaseName(pattern, utc), expected);
}

void tst_DocumentSaver::uniqueURLSkipsEverythingThatExists() {
    const QString folder = path("unique");
    QVERIFY(QDir().mkpath(folder));
    const QUrl folderURL = QUrl::fromLocalFile(folder);
    const auto unique = [&] {
        return DocumentSaver::uniqueURL(folderURL, "Scan", "pdf").fileName();
    };
    QCOMPARE(unique(), QStringLiteral("Scan.pdf"));
    write(folder + "/Scan.pdf", "x");
    QCOMPARE(unique(), QStringLiteral("Scan (2).pdf"));
    QVERIFY(QDir().mkpath(folder + "/Scan (2).pdf")); // a folder counts
    QCOMPARE(unique(), QStringLiteral("Scan (3).pdf"));
    QVERIFY(QFile::link(folder + "/nowhere", folder + "/Scan (3).pdf")); // so does a dangling link
    QCOMPARE(unique(), QStringLiteral("Scan (4).pdf"));
}

void tst_DocumentSaver::imagesAreNumberedAndNeverOverwrite() {
    const auto colour = page(colourImage(60, 80), 200);
    const auto grey = page(greyImage(60, 80), 150);
    const auto mono = page(monoImage(60, 80), 300);
    const QString folder = path("out/images"); // does not exist yet
    const QUrl folderURL = QUrl::fromLocalFile(folder);

    // Three pages as JPEG, one name already taken.
    QVERIFY(QDir().mkpath(folder));
    write(folder + "/Scan_02.jpg", "somebody else's file");
    const auto jpegs =
        DocumentSaver::save({colour, grey, mono}, folderURL, "Scan", OutputFormat::jpg, 85);
    QVERIFY(jpegs.ok());
    QStringList names;
    for (const QUrl& written : jpegs.value()) {
        names.append(written.fileName());
    }
    QCOMPARE(names, (QStringList{"Scan_01.jpg", "Scan_02 (2).jpg", "Scan_03.jpg"}));
    QCOMPARE(readAll(folder + "/Scan_02.jpg"), QByteArray("somebody else's file"));
    const auto second = ImageFile::read(jpegs.value()[1], 0).value();
    QCOMPARE(second.dpi, 150.0); // the page's resolution
    QCOMPARE(second.image.format(), QImage::Format_Grayscale8);
    QCOMPARE(ImageFile::read(jpegs.value()[2], 0).value().image.format(),
             QImage::Format_Grayscale8); // black and white as grey JPEG

    // One page as PNG: no number, exact pixels. (The next free names:
    // uniqueURLSkipsEverythingThatExists.)
    const auto png = DocumentSaver::save({mono}, folderURL, "Scan", OutputFormat::png, 85);
    QCOMPARE(png.value(), QList<QUrl>{QUrl::fromLocalFile(folder + "/Scan.png")});
    const auto decoded = ImageFile::read(png.value().front(), 0).value();
    QCOMPARE(decoded.image, monoImage(60, 80));
    QCOMPARE(decoded.dpi, 300.0);
}

void tst_DocumentSaver::pdfHasExactPagesAndCompactImages() {
    // Page boxes keep fractions of a dot per inch; 1 dpi counts as none.
    const auto rect = [](QSizeF pixels, double dpi) {
        return DocumentSaver::pageRect(ScannedPage(QUuid::createUuid(), QUrl(), pixels, dpi, {}));
    };
    QCOMPARE(rect({1700, 2200}, 1.0), QRectF(0, 0, 408, 528));
    QCOMPARE(rect({1001, 1001}, 299.5), QRectF(0, 0, 1001 / 299.5 * 72, 1001 / 299.5 * 72));

    const auto colour = page(colourImage(2480, 3508), 300);
    const auto grey = page(greyImage(1700, 2200), 200);
    const auto mono = page(monoImage(2480, 3508), 300);
    // A page without resolution is measured at 300 dpi.
    const auto unmeasured = std::make_shared<ScannedPage>(QUuid::createUuid(), grey->cacheURL(),
                                                          grey->pixelSize(), 0.0, QImage());
    const QString folder = path("pdf");
    QVERIFY(QDir().mkpath(folder));
    write(folder + "/Scan.pdf", "existing");

    const auto saved =
        DocumentSaver::save({colour, grey, mono, unmeasured}, QUrl::fromLocalFile(folder), "Scan",
                            OutputFormat::pdf, 85);
    QVERIFY(saved.ok());
    QCOMPARE(saved.value(), QList<QUrl>{QUrl::fromLocalFile(folder + "/Scan (2).pdf")});
    QCOMPARE(readAll(folder + "/Scan.pdf"), QByteArray("existing"));
    const QString pdf = saved.value().front().toLocalFile();

    QCOMPARE(pdfPageSizes(pdf, 4),
             (QStringList{"595.2 x 841.92", "612 x 792", "595.2 x 841.92", "408 x 528"}));
    const QList<PdfImage> images = pdfImages(pdf);
    QCOMPARE(images.size(), 4);
    QCOMPARE(images[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(images[0].colour, QStringLiteral("rgb"));
    QCOMPARE(QSize(images[0].width, images[0].height), QSize(2480, 3508));
    QCOMPARE(images[1].encoding, QStringLiteral("jpeg"));
    QCOMPARE(images[1].colour, QStringLiteral("gray"));
    QCOMPARE(QSize(images[1].width, images[1].height), QSize(1700, 2200));
    QCOMPARE(images[2].bitsPerComponent, 1); // lossless 1-bit, not JPEG
    QCOMPARE(images[2].encoding, QStringLiteral("ccitt"));
    QCOMPARE(QSize(images[2].width, images[2].height), QSize(2480, 3508));
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));
    const QString info = run("pdfinfo", {pdf});
    QVERIFY(info.contains(QRegularExpression("Producer:\\s+Paperlark \\d+\\.\\d+")));
    QVERIFY(info.contains(QRegularExpression("CreationDate:\\s+\\S")));

    // What a reader shows: the red block top left on page 1. (1-bit pages,
    // pixel for pixel: blackAndWhiteIsCcittOrFlateAndLossless.)
    run("pdftoppm", {"-r", "10", "-f", "1", "-l", "1", "-png", pdf, path("render")});
    const QImage first(path("render-1.png"));
    QVERIFY(!first.isNull());
    const QColor topLeft = first.pixelColor(3, 3);
    QVERIFY2(topLeft.red() > 150 && topLeft.green() < 90, "red block on page 1");
    QVERIFY(first.pixelColor(first.width() - 3, first.height() - 3).lightness() > 200);

    // The JPEG quality setting reaches the PDF.
    const auto low =
        DocumentSaver::save({colour}, QUrl::fromLocalFile(folder), "low", OutputFormat::pdf, 20);
    const auto high =
        DocumentSaver::save({colour}, QUrl::fromLocalFile(folder), "high", OutputFormat::pdf, 95);
    QVERIFY(low.ok() && high.ok());
    QVERIFY(QFileInfo(low.value().front().toLocalFile()).size() <
            QFileInfo(high.value().front().toLocalFile()).size());
}

void tst_DocumentSaver::blackAndWhiteIsCcittOrFlateAndLossless() {
    // Lines of small print on 1-bit pages whose widths are no multiple of 8,
    // and a fine checkerboard, which G4 codes poorly and Flate well.
    const QImage ragged = textPage(QSize(1001, 77), 12, 100, true).image;
    const QImage narrow = ragged.copy(12, 0, 13, 77);
    QImage checkers(64, 64, QImage::Format_Mono);
    checkers.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < checkers.height(); ++y) {
        for (int x = 0; x < checkers.width(); ++x) {
            checkers.setPixel(x, y, (x + y) % 2);
        }
    }
    // Printed text, whose G4 codes shrink further with Flate.
    const QImage text = textPage(QSize(1200, 500), 300, 10, true).image;
    // All-black pages in colour (JPEG) and 1-bit, of A4 and of a size that is
    // no whole number of points: their images cover the page to the last
    // pixel, with no white seam.
    QImage dark(2480, 3508, QImage::Format_RGB32), small(70, 46, QImage::Format_RGB32);
    dark.fill(Qt::black);
    small.fill(Qt::black);
    const QImage darkMono = MonoBits::fromGrey(dark.convertToFormat(QImage::Format_Grayscale8));
    const QImage smallMono = MonoBits::fromGrey(small.convertToFormat(QImage::Format_Grayscale8));
    const QList<QImage> images{ragged, narrow, checkers, text, dark, small, darkMono, smallMono};
    DocumentSaver::Pages pages;
    for (const QImage& image : images) {
        pages.append(page(image, 300));
    }
    const auto saved = DocumentSaver::save(pages, QUrl::fromLocalFile(path("mono")), "mono",
                                           OutputFormat::pdf, 85);
    QVERIFY(saved.ok());
    const QString pdf = saved.value().front().toLocalFile();
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));
    QCOMPARE(pdfPageSizes(pdf, 8).mid(4),
             (QStringList{"595.2 x 841.92", "16.8 x 11.04", "595.2 x 841.92", "16.8 x 11.04"}));
    const QList<PdfImage> listed = pdfImages(pdf);
    QCOMPARE(listed.size(), 8);
    QCOMPARE(listed[0].encoding, QStringLiteral("ccitt"));
    QCOMPARE(listed[1].encoding, QStringLiteral("ccitt"));
    QCOMPARE(listed[2].encoding, QStringLiteral("image")); // Flate
    QCOMPARE(listed[3].encoding, QStringLiteral("ccitt"));
    QCOMPARE(listed[4].encoding, QStringLiteral("jpeg"));
    QVERIFY(readAll(pdf).contains("/Filter [ /FlateDecode /CCITTFaxDecode ]"));
    for (const int mono : {0, 1, 2, 3, 6, 7}) {
        QCOMPARE(listed[mono].bitsPerComponent, 1);
    }

    // mupdf gives back every pixel as it was. poppler smooths 1-bit images
    // as it draws them, shifting edges by a fraction of a pixel: each of its
    // pixels must match the original there or right next to it.
    run("pdftoppm", {"-r", "300", "-gray", "-png", pdf, path("mono-poppler")});
    run("mutool", {"draw", "-q", "-r", "300", "-c", "gray", "-o", path("mono-mupdf-%d.png"), pdf});
    for (int number = 1; number <= images.size(); ++number) {
        const QImage expected = images[number - 1].convertToFormat(QImage::Format_Grayscale8);
        const QImage mupdf = QImage(path(QStringLiteral("mono-mupdf-%1.png").arg(number)))
                                 .convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(mupdf, expected);
        const QImage poppler = QImage(path(QStringLiteral("mono-poppler-%1.png").arg(number)))
                                   .convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(poppler.size(), expected.size());
        const auto black = [](const QImage& image, int x, int y) {
            return image.constScanLine(y)[x] < 128;
        };
        int astray = 0;
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy) {
                    for (int dx = -1; dx <= 1 && !near; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        near = nx >= 0 && ny >= 0 && nx < expected.width() &&
                               ny < expected.height() &&
                               black(expected, nx, ny) == black(poppler, x, y);
                    }
                }
                astray += near ? 0 : 1;
            }
        }
        QCOMPARE(astray, 0);
    }
}

void tst_DocumentSaver::storedJpegGoesInAsItIsWhenNoFiner() {
    // Pages imported from JPEGs at quality 60 are kept as those files.
    const auto jpegPage = [this](const QImage& image, const QString& name, bool progressive) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(60);
        writer.setProgressiveScanWrite(progressive);
        writer.write(image);
        const QUrl source = write(path(name), buffer.data());
        const auto made = ScannedPage::make(source, url("cache"), 300, false);
        return made.ok() ? made.value() : nullptr;
    };
    const auto colour = jpegPage(colourImage(600, 400), "colour.jpg", false);
    const auto grey = jpegPage(greyImage(300, 200), "grey.jpg", false);
    const auto progressive = jpegPage(colourImage(600, 400), "progressive.jpg", true);
    // A page turned half round keeps its file, whose pixels are no longer
    // the page's.
    const auto turned = jpegPage(colourImage(640, 400), "turned.jpg", false);
    QVERIFY(colour && grey && progressive && turned);
    QVERIFY(turned->rotate(2).ok());
    QCOMPARE(turned->cacheTurns(), 2);
    for (const auto& page : {colour, grey, progressive, turned}) {
        QVERIFY(page->cacheURL().fileName().endsWith(".jpg"));
    }
    const auto contains = [](const QByteArray& pdf, const std::shared_ptr<ScannedPage>& page) {
        return pdf.contains(readAll(page->cacheURL().toLocalFile()));
    };

    // At quality 85 the files go in byte for byte, except the progressive
    // and the turned ones.
    const auto same = DocumentSaver::save({colour, grey, progressive, turned}, url("jpeg"), "same",
                                          OutputFormat::pdf, 85);
    QVERIFY(same.ok());
    const QString samePdf = same.value().front().toLocalFile();
    const QByteArray sameBytes = readAll(samePdf);
    QVERIFY(contains(sameBytes, colour));
    QVERIFY(contains(sameBytes, grey));
    QVERIFY(!contains(sameBytes, progressive));
    QVERIFY(!contains(sameBytes, turned));
    const QList<PdfImage> images = pdfImages(samePdf);
    QCOMPARE(images.size(), 4);
    QCOMPARE(images[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(images[0].colour, QStringLiteral("rgb"));
    QCOMPARE(images[1].encoding, QStringLiteral("jpeg"));
    QCOMPARE(images[1].colour, QStringLiteral("gray"));
    QCOMPARE(QSize(images[1].width, images[1].height), QSize(300, 200));
    QVERIFY(run("qpdf", {"--check", samePdf}).contains("No syntax or stream encoding errors"));
    // The turned page shows turned. (A kept file the right way up:
    // tst_PdfImport::savedDocumentsImportBackUnchanged.)
    run("pdftoppm", {"-r", "10", "-f", "4", "-l", "4", "-png", samePdf, path("same")});
    const QImage fourth(path("same-4.png"));
    QVERIFY(!fourth.isNull());
    const QColor corner = fourth.pixelColor(fourth.width() - 3, fourth.height() - 3);
    QVERIFY2(corner.red() > 150 && corner.green() < 90, "red block bottom right on page 4");

    // At quality 40 they are encoded again, smaller.
    const auto coarser =
        DocumentSaver::save({colour, grey}, url("jpeg"), "coarser", OutputFormat::pdf, 40);
    QVERIFY(coarser.ok());
    const QByteArray coarserBytes = readAll(coarser.value().front().toLocalFile());
    QVERIFY(!contains(coarserBytes, colour) && !contains(coarserBytes, grey));
    QCOMPARE(pdfImages(coarser.value().front().toLocalFile()).size(), 2);
}

void tst_DocumentSaver::failuresAndTheirTexts() {
    const auto good = page(colourImage(40, 40), 300);
    const QUrl folder = url("failures");

    const auto empty = DocumentSaver::save({}, folder, "Scan", OutputFormat::pdf, 85);
    QCOMPARE(empty.failure().kind, DocumentSaver::Failure::Kind::nothingToSave);
    QCOMPARE(empty.failure().description(), QStringLiteral("There are no scanned pages to save."));
    QVERIFY(!QFile::exists(folder.toLocalFile())); // nothing created for nothing

    write(path("a file"), "x");
    const QUrl blocked = url("a file/out");
    const auto noFolder = DocumentSaver::save({good}, blocked, "Scan", OutputFormat::png, 85);
    QCOMPARE(noFolder.failure().kind, DocumentSaver::Failure::Kind::folder);
    QCOMPARE(noFolder.failure().description(),
             QStringLiteral("Could not create the folder at %1 (Not a directory).")
                 .arg(blocked.toLocalFile()));

    // savePDF never replaces a file and names the full path.
    const QString existing = path("existing.pdf");
    write(existing, "mine");
    const auto clash = DocumentSaver::savePDF({good}, QUrl::fromLocalFile(existing), 85);
    QCOMPARE(clash.failure().kind, DocumentSaver::Failure::Kind::pdfFailed);
    QCOMPARE(clash.failure().description(),
             QStringLiteral("Could not write the PDF at %1.").arg(existing));
    QCOMPARE(readAll(existing), QByteArray("mine"));

    // A page whose cache file has gone: the PDF is not left half-written.
    const auto lost = page(colourImage(40, 40), 300);
    lost->discard();
    const auto pdf = DocumentSaver::save({good, lost}, folder, "Scan", OutputFormat::pdf, 85);
    QCOMPARE(pdf.failure().kind, DocumentSaver::Failure::Kind::image);
    QCOMPARE(pdf.failure().description(),
             QStringLiteral("Could not read the image at %1.").arg(lost->cacheURL().fileName()));
    QCOMPARE(fileNames(folder.toLocalFile()), QStringList());

    // Pages of extreme shapes, in every kind, make a valid PDF.
    QImage tall(1, 20000, QImage::Format_RGB32), wide(20000, 1, QImage::Format_RGB32);
    tall.fill(Qt::darkBlue);
    wide.fill(Qt::darkBlue);
    DocumentSaver::Pages extremes;
    for (const QImage& image : {tall, wide}) {
        extremes << page(image, 300) << page(image.convertToFormat(QImage::Format_Grayscale8), 300)
                 << page(MonoBits::fromGrey(image.convertToFormat(QImage::Format_Grayscale8)), 300);
    }
    const auto shapes = DocumentSaver::save(extremes, url("shapes"), "Scan", OutputFormat::pdf, 85);
    QVERIFY(shapes.ok());
    QVERIFY(run("qpdf", {"--check", shapes.value().front().toLocalFile()})
                .contains("No syntax or stream encoding errors"));
    QCOMPARE(pdfPageSizes(shapes.value().front().toLocalFile(), 6).mid(2, 2),
             (QStringList{"0.24 x 4800", "4800 x 0.24"}));

    // As images: the pages before the lost one stay, nothing is left for it.
    const auto images =
        DocumentSaver::save({good, lost, good}, folder, "Scan", OutputFormat::jpg, 85);
    QCOMPARE(images.failure().kind, DocumentSaver::Failure::Kind::image);
    QCOMPARE(fileNames(folder.toLocalFile()), QStringList{"Scan_01.jpg"});
}

void tst_DocumentSaver::fullDiskLeavesNoPdf() {
    // A colour page whose JPEG alone is larger than the space left.
    const auto big = page(withNoise(colourImage(800, 800), 80, 1), 300);
    // A file-size limit stands in for a full disk: writes fail part-way the
    // same way, and the test needs no file system of its own.
    const QString folder = path("limited");
    QVERIFY(QDir().mkpath(folder));
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit tight = previous;
    tight.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const auto saved =
        DocumentSaver::save({big}, QUrl::fromLocalFile(folder), "Scan", OutputFormat::pdf, 85);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(!saved.ok());
    QCOMPARE(saved.failure().kind, DocumentSaver::Failure::Kind::pdfFailed);
    QCOMPARE(saved.failure().description(),
             QStringLiteral("Could not write the PDF at %1/Scan.pdf.").arg(folder));
    QCOMPARE(fileNames(folder), QStringList());
}

QTEST_MAIN(tst_DocumentSaver) // fonts, for the page of text
#include "tst_DocumentSaver.moc"
