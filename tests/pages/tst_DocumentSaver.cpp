#include "PageFixtures.h"

#include "pages/DocumentSaver.h"
#include "pages/NewFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace PageFixtures;

namespace {

// 6 December 2026, 01:30:05 in the zone the tests run in.
QDateTime fixedMoment() {
    return QDateTime(QDate(2026, 12, 6), QTime(1, 30, 5), QTimeZone("Europe/Berlin"));
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
    void pageRectKeepsFractions();
    void pdfHasExactPagesAndCompactImages();
    void newFilesAreExclusiveAndCleanedUp();
    void failuresAndTheirTexts();
};

void tst_DocumentSaver::initTestCase() {
    QVERIFY(dir_.isValid());
    // Before anything asks ICU or Qt for the local zone.
    qputenv("TZ", "Europe/Berlin");
}

void tst_DocumentSaver::sanitiseCleansNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nine invalid characters") << "<>:\"/\\|?*"
                                             << "_________";
    QTest::newRow("re:port?") << "re:port?"
                              << "re_port_";
    QTest::newRow("controls") << "tab\there\nand\r\x01"
                              << "tab_here_and__";
    QTest::newRow("C1 control") << QString("a\u0085b") << "a_b";
    QTest::newRow("blanks trimmed") << QString("\u00A0 name\u3000") << "name";
    QTest::newRow("a tab is a control, not a blank") << "name\t"
                                                     << "name_";
    QTest::newRow("trailing full stops") << "report..."
                                         << "report";
    QTest::newRow("blank before a full stop stays") << "a . "
                                                    << "a ";
    QTest::newRow("only full stops") << "..."
                                     << "Scan";
    QTest::newRow("empty") << ""
                           << "Scan";
    QTest::newRow("blank") << "   "
                           << "Scan";
    QTest::newRow("beyond the basic plane")
        << QString("scan \U0001F4C4") << QString("scan \U0001F4C4");
    QTest::newRow("format character is not blank") << QString("x\u200B") << QString("x\u200B");
}

void tst_DocumentSaver::sanitiseCleansNames() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(DocumentSaver::sanitise(name), expected);
}

void tst_DocumentSaver::patternsExpandDates_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "Scan_2026-12-06_013005";
    QTest::newRow("blank") << " \t "
                           << "Scan_2026-12-06_013005";
    QTest::newRow("empty braces") << "{}"
                                  << "2026-12-06_013005";
    QTest::newRow("slashes") << "Invoice {dd/MM/yyyy}"
                             << "Invoice 06_12_2026";
    QTest::newRow("colons") << "Scan {HH:mm}"
                            << "Scan 01_30";
    QTest::newRow("stray closing brace") << "a}b"
                                         << "a}b";
    QTest::newRow("unclosed brace") << "Scan {yyyy"
                                    << "Scan {yyyy";
    QTest::newRow("braces do not nest") << "a{b{yyyy}"
                                        << "a2026";
    QTest::newRow("names in English") << "{EEE d MMM yyyy}"
                                      << "Sun 6 Dec 2026";
    QTest::newRow("quoted literal") << "{'at' HH'h'}"
                                    << "at 01h";
    QTest::newRow("zone offset") << "{ZZZZZ}"
                                 << "+01_00";
    QTest::newRow("three full stops") << "..."
                                      << "Scan";
    QTest::newRow("re:port?") << "re:port?"
                              << "re_port_";
    QTest::newRow("line break") << "two\nlines"
                                << "two_lines";
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
    QCOMPARE(DocumentSaver::uniqueURL(folderURL, "Scan", "jpg").fileName(),
             QStringLiteral("Scan.jpg"));
    QCOMPARE(DocumentSaver::uniqueURL(folderURL, "Scan", "pdf").toLocalFile(),
             folder + "/Scan (4).pdf");
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

    // One page as PNG: Scan.png, then Scan (2).png, then Scan (3).png; exact pixels.
    for (const QString expected : {"Scan.png", "Scan (2).png", "Scan (3).png"}) {
        const auto png = DocumentSaver::save({mono}, folderURL, "Scan", OutputFormat::png, 85);
        QVERIFY(png.ok());
        QCOMPARE(png.value(), QList<QUrl>{QUrl::fromLocalFile(folder + "/" + expected)});
        const auto decoded = ImageFile::read(png.value().front(), 0).value();
        QCOMPARE(decoded.image, monoImage(60, 80));
        QCOMPARE(decoded.dpi, 300.0);
    }

    // Two-digit numbering carries on past 9; the name is cleaned first.
    const DocumentSaver::Pages eleven(11, grey);
    const auto many = DocumentSaver::save(eleven, QUrl::fromLocalFile(path("out/many/deeper")),
                                          "a/b", OutputFormat::png, 85);
    QVERIFY(many.ok());
    QCOMPARE(many.value().front().fileName(), QStringLiteral("a_b_01.png"));
    QCOMPARE(many.value().back().fileName(), QStringLiteral("a_b_11.png"));
}

void tst_DocumentSaver::pageRectKeepsFractions() {
    const auto rect = [](QSizeF pixels, double dpi) {
        return DocumentSaver::pageRect(ScannedPage(QUuid::createUuid(), QUrl(), pixels, dpi, {}));
    };
    QCOMPARE(rect({2480, 3508}, 300), QRectF(0, 0, 595.2, 841.92));
    QCOMPARE(rect({1700, 2200}, 200), QRectF(0, 0, 612, 792));
    QCOMPARE(rect({1700, 2200}, 0), QRectF(0, 0, 408, 528));   // no resolution: 300 dpi
    QCOMPARE(rect({1700, 2200}, 1.0), QRectF(0, 0, 408, 528)); // 1 dpi counts as none
    QCOMPARE(rect({1001, 1001}, 299.5), QRectF(0, 0, 1001 / 299.5 * 72, 1001 / 299.5 * 72));
}

void tst_DocumentSaver::pdfHasExactPagesAndCompactImages() {
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
    QVERIFY(images[2].encoding != QStringLiteral("jpeg"));
    QCOMPARE(QSize(images[2].width, images[2].height), QSize(2480, 3508));
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));

    // What a reader shows: the red block top left on page 1, black top left
    // and white paper elsewhere on page 3.
    run("pdftoppm", {"-r", "10", "-png", pdf, path("render")});
    const QImage first(path("render-1.png"));
    const QImage third(path("render-3.png"));
    QVERIFY(!first.isNull() && !third.isNull());
    const QColor topLeft = first.pixelColor(3, 3);
    QVERIFY2(topLeft.red() > 150 && topLeft.green() < 90, "red block on page 1");
    QVERIFY(first.pixelColor(first.width() - 3, first.height() - 3).lightness() > 200);
    QVERIFY(third.pixelColor(3, 3).lightness() < 30);
    QVERIFY(third.pixelColor(third.width() - 3, third.height() - 3).lightness() > 225);

    // The JPEG quality setting reaches the PDF.
    const auto low =
        DocumentSaver::save({colour}, QUrl::fromLocalFile(folder), "low", OutputFormat::pdf, 20);
    const auto high =
        DocumentSaver::save({colour}, QUrl::fromLocalFile(folder), "high", OutputFormat::pdf, 95);
    QVERIFY(low.ok() && high.ok());
    QVERIFY(QFileInfo(low.value().front().toLocalFile()).size() <
            QFileInfo(high.value().front().toLocalFile()).size());
}

void tst_DocumentSaver::newFilesAreExclusiveAndCleanedUp() {
    const QString taken = path("taken.txt");
    write(taken, "keep me");
    {
        NewFile file(QUrl::fromLocalFile(taken));
        QCOMPARE(file.status(), NewFile::Status::exists);
    }
    QCOMPARE(readAll(taken), QByteArray("keep me"));

    const QString fresh = path("fresh.txt");
    {
        NewFile file(QUrl::fromLocalFile(fresh));
        QCOMPARE(file.status(), NewFile::Status::created);
        file.device().write("half");
    } // never committed: removed
    QVERIFY(!QFile::exists(fresh));
    {
        NewFile file(QUrl::fromLocalFile(fresh));
        file.device().write("whole");
        QVERIFY(file.commit());
    }
    QCOMPARE(readAll(fresh), QByteArray("whole"));
    QCOMPARE(NewFile(QUrl::fromLocalFile(path("missing/x.txt"))).status(), NewFile::Status::failed);
}

void tst_DocumentSaver::failuresAndTheirTexts() {
    const auto good = page(colourImage(40, 40), 300);
    const QUrl folder = url("failures");

    const auto empty = DocumentSaver::save({}, folder, "Scan", OutputFormat::pdf, 85);
    QCOMPARE(empty.failure().kind, DocumentSaver::Failure::Kind::nothingToSave);
    QCOMPARE(empty.failure().description(), QStringLiteral("There are no scanned pages to save."));
    QCOMPARE(DocumentSaver::savePDF({}, url("x.pdf"), 85).failure().kind,
             DocumentSaver::Failure::Kind::nothingToSave);
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

    // As images: the pages before the lost one stay, nothing is left for it.
    const auto images =
        DocumentSaver::save({good, lost, good}, folder, "Scan", OutputFormat::jpg, 85);
    QCOMPARE(images.failure().kind, DocumentSaver::Failure::Kind::image);
    QCOMPARE(fileNames(folder.toLocalFile()), QStringList{"Scan_01.jpg"});
}

QTEST_GUILESS_MAIN(tst_DocumentSaver)
#include "tst_DocumentSaver.moc"
