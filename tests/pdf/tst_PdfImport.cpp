#include "PageFixtures.h"

#include "pages/DocumentSaver.h"
#include "pages/ImageFile.h"
#include "pages/PdfWriter.h"
#include "pdf/PdfImport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>

using namespace PageFixtures;

namespace {

QString fixture(const QString& name) {
    return QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/data/pdf/") + name;
}

QImage decodedFixture(const QString& name) {
    auto decoded = ImageFile::read(QUrl::fromLocalFile(fixture(name)), 72);
    if (!decoded) {
        qFatal("cannot read %s", qPrintable(name));
    }
    return decoded.value().image;
}

struct Imported {
    std::optional<PdfImportFailure> failure;
    QList<std::shared_ptr<ScannedPage>> pages;
    QList<int> numbers;
    int announced = -1;
};

} // namespace

class tst_PdfImport : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    int imports_ = 0;
    // Each import caches into a folder of its own.
    QUrl cache() const { return QUrl::fromLocalFile(dir_.filePath(QString::number(imports_))); }

    static PdfImport::Settings settings() {
        PdfImport::Settings s = PdfImport::Settings::defaults();
        s.readerPath = QStringLiteral(PDF_READER);
        return s;
    }

    Imported import(const QString& path, const PdfImport::Settings& s = settings(),
                    const std::atomic<bool>* cancel = nullptr, int cancelAfter = -1,
                    std::atomic<bool>* raise = nullptr) {
        ++imports_;
        Imported result;
        PdfImport::Events events;
        events.opened = [&](int count) { result.announced = count; };
        events.page = [&](std::shared_ptr<ScannedPage> page, int number, int count) {
            QCOMPARE(count, result.announced);
            result.pages.append(std::move(page));
            result.numbers.append(number);
            if (raise && number == cancelAfter) {
                raise->store(true);
            }
        };
        const auto outcome = PdfImport::run(QUrl::fromLocalFile(path), cache(), events, cancel, s);
        if (!outcome) {
            result.failure = outcome.failure();
        } else {
            [&] { QCOMPARE(outcome.value(), result.pages.size()); }();
        }
        return result;
    }

    // Files in the cache folder that no page owns.
    QStringList strays(const QList<std::shared_ptr<ScannedPage>>& pages) const {
        QStringList files = QDir(cache().toLocalFile()).entryList(QDir::Files);
        for (const auto& page : pages) {
            files.removeAll(page->cacheURL().fileName());
            files.removeAll(page->textLayerURL().fileName());
        }
        return files;
    }

private Q_SLOTS:
    void scannedPagesAreTheirImages_data();
    void scannedPagesAreTheirImages();
    void invisibleTextComesAlongAndIsSaved();
    void otherPagesAreDrawn();
    void failuresNameTheFile();
    void pagesArriveInOrderAndCanBeCancelled();
    void savedDocumentsImportBackUnchanged();
    void readersThatMisbehaveAreRefused();
};

void tst_PdfImport::scannedPagesAreTheirImages_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reference"); // the image the page was made from
    QTest::addColumn<int>("turns");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<bool>("keptAsJpeg");
    QTest::addColumn<int>("tolerance"); // largest sample difference allowed
    QTest::addColumn<double>("meanTolerance");

    QTest::newRow("img2pdf JPEG, /Rotate 90") << "img2pdf-rotate90.pdf"
                                              << "colour.jpg" << 1 << 150.0 << true << 0 << 0.0;
    QTest::newRow("ImageMagick CCITT G4") << "imagemagick-g4.pdf"
                                          << "mono.png" << 0 << 200.0 << false << 0 << 0.0;
    QTest::newRow("ImageMagick Flate RGB") << "imagemagick-flate.pdf"
                                           << "colour.png" << 0 << 150.0 << false << 0 << 0.0;
    QTest::newRow("img2pdf Indexed") << "img2pdf-indexed.pdf"
                                     << "palette.png" << 0 << 150.0 << false << 0 << 0.0;
    QTest::newRow("img2pdf JPEG 2000") << "img2pdf-jpx.pdf"
                                       << "colour.png" << 0 << 96.0 << false << 0 << 0.0;
    // Device CMYK has no exact way back to RGB: close is what viewers show.
    QTest::newRow("ImageMagick CMYK") << "imagemagick-cmyk.pdf"
                                      << "colour.png" << 0 << 150.0 << false << 3 << 1.0;
    // An Adobe CMYK JPEG, inverted by its Decode array.
    QTest::newRow("img2pdf CMYK JPEG, Decode inverted")
        << "img2pdf-cmyk-jpeg.pdf"
        << "colour.png" << 0 << 150.0 << false << 80 << 4.0;
}

void tst_PdfImport::scannedPagesAreTheirImages() {
    QFETCH(QString, file);
    QFETCH(QString, reference);
    QFETCH(int, turns);
    QFETCH(double, dpi);
    QFETCH(bool, keptAsJpeg);
    QFETCH(int, tolerance);
    QFETCH(double, meanTolerance);

    const Imported imported = import(fixture(file));
    QVERIFY2(!imported.failure,
             qPrintable(imported.failure ? imported.failure->description() : ""));
    QCOMPARE(imported.pages.size(), 1);
    const auto& page = imported.pages.front();
    QCOMPARE(page->dpi(), dpi);
    QCOMPARE(page->cacheURL().fileName().endsWith(".jpg"), keptAsJpeg);
    if (keptAsJpeg) {
        // The JPEG is the very file the PDF was made from, turned by record.
        QCOMPARE(readAll(page->cacheURL().toLocalFile()), readAll(fixture(reference)));
        QCOMPARE(page->cacheTurns(), turns);
    }
    const QImage expected = ImageFile::rotate(decodedFixture(reference), turns).value();
    const QImage got = page->loadFullImage().value();
    QCOMPARE(page->pixelSize(), QSizeF(expected.size()));
    QVERIFY2(largestDifference(got, expected) <= tolerance,
             qPrintable(QString::number(largestDifference(got, expected))));
    QVERIFY(meanDifference(got, expected) <= meanTolerance);
    QVERIFY(page->textLayerURL().isEmpty());
    QVERIFY(!page->looksBlank());
    QCOMPARE(strays(imported.pages), QStringList());
}

void tst_PdfImport::invisibleTextComesAlongAndIsSaved() {
    const Imported imported = import(fixture("ocrmypdf.pdf"));
    QVERIFY(!imported.failure);
    QCOMPARE(imported.pages.size(), 1);
    const auto page = imported.pages.front();
    // The scan itself, not a drawing of the page.
    QCOMPARE(page->pixelSize(), QSizeF(900, 300));
    QCOMPARE(page->dpi(), 150.0);
    QVERIFY(page->cacheURL().fileName().endsWith(".jpg"));
    const QString layer = page->textLayerURL().toLocalFile();
    QVERIFY(QFile::exists(layer));
    QCOMPARE(pdfPageSizes(layer, 1), QStringList{"432 x 144"});
    QVERIFY(run("pdftotext", {layer, "-"}).contains("Invisible"));

    // Turned, the layer turns with the page. (Saved unturned:
    // tst_SessionRecovery::aPdfPageComesBackWithItsText.)
    QVERIFY(page->rotate(1));
    QCOMPARE(pdfPageSizes(layer, 1), QStringList{"144 x 432"});
    const QString turned = dir_.filePath("turned.pdf");
    QVERIFY(DocumentSaver::savePDF({page}, QUrl::fromLocalFile(turned), 80));
    QCOMPARE(pdfPageSizes(turned, 1), QStringList{"144 x 432"});
    QVERIFY(run("pdftotext", {turned, "-"}).contains("Invisible words"));

    page->discard();
    QVERIFY(!QFile::exists(layer));
}

void tst_PdfImport::otherPagesAreDrawn() {
    // Text drawn as text, with a bar of colour: drawn at 300 dpi.
    const Imported imported = import(fixture("ghostscript-text.pdf"));
    QVERIFY(!imported.failure);
    QCOMPARE(imported.pages.size(), 1);
    const auto page = imported.pages.front();
    QCOMPARE(page->dpi(), 300.0);
    QCOMPARE(page->pixelSize(), QSizeF(std::round(298 * 300 / 72.0), std::round(421 * 300 / 72.0)));
    QVERIFY(page->cacheURL().fileName().endsWith(".png"));
    QVERIFY(page->textLayerURL().isEmpty());
    const QImage image = page->loadFullImage().value();
    QCOMPARE(image.pixelColor(10, 10), QColor(Qt::white));
    // The bar: 40...240 by 250...290 points from the lower left.
    const QColor bar = image.pixelColor(int(140 * 300 / 72.0), int((421 - 270) * 300 / 72.0));
    QVERIFY(bar.blue() > 150 && bar.red() < 100);
    QVERIFY(!page->looksBlank());
}

void tst_PdfImport::failuresNameTheFile() {
    const auto failureOf = [this](const QString& path, const PdfImport::Settings& s) {
        const Imported imported = import(path, s);
        [&] {
            QCOMPARE(imported.pages.size(), 0);
            QCOMPARE(strays({}), QStringList());
        }();
        return imported.failure ? imported.failure->description() : QStringLiteral("no failure");
    };
    QCOMPARE(failureOf(fixture("damaged-junk.pdf"), settings()),
             "Could not read the PDF damaged-junk.pdf.");
    QCOMPARE(failureOf(fixture("damaged-truncated.pdf"), settings()),
             "Could not read the PDF damaged-truncated.pdf.");
    QCOMPARE(failureOf(fixture("qpdf-empty.pdf"), settings()),
             "The PDF qpdf-empty.pdf has no pages.");
    QCOMPARE(failureOf(dir_.filePath("missing.pdf"), settings()),
             "Could not read the PDF missing.pdf.");
    PdfImport::Settings few = settings();
    few.maxPages = 2;
    QCOMPARE(failureOf(fixture("qpdf-merged.pdf"), few),
             "The PDF qpdf-merged.pdf has more pages than can be added at once (at most 2).");
    PdfImport::Settings nowhere = settings();
    nowhere.readerPath = dir_.filePath("no-reader");
    QCOMPARE(failureOf(fixture("img2pdf-jpeg.pdf"), nowhere),
             "PDF files cannot be read: the helper program " + dir_.filePath("no-reader") +
                 " is missing or cannot be run. Reinstall Paperlark.");

    // A password only for changing the file opens like any other.
    const Imported ownerOnly = import(fixture("qpdf-owner-only.pdf"));
    QVERIFY(!ownerOnly.failure);
    QCOMPARE(readAll(ownerOnly.pages.front()->cacheURL().toLocalFile()),
             readAll(fixture("colour.jpg")));
}

void tst_PdfImport::pagesArriveInOrderAndCanBeCancelled() {
    // 500 small pages, each its own: every one arrives, in order. (A merged
    // file's pages, with their own resolutions and turns, are
    // tst_PageImporter's.)
    PdfWriter writer;
    for (int i = 0; i < 500; ++i) {
        QImage mono = monoImage(64, 80);
        for (int b = 0; b < 9; ++b) { // the page number in binary, as a bar code
            for (int y = 70; y < 78; ++y) {
                mono.setPixel(4 + 6 * b, y, (i >> b) & 1 ? 0 : 1);
            }
        }
        QVERIFY(writer.addPage(QSizeF(64 * 72 / 100.0, 80 * 72 / 100.0), ::PdfImage::mono(mono)));
    }
    QFile out(dir_.filePath("500.pdf"));
    QVERIFY(out.open(QIODevice::WriteOnly) && writer.write(out, "test"));
    out.close();
    const Imported many = import(out.fileName());
    QVERIFY(!many.failure);
    QCOMPARE(many.pages.size(), 500);
    for (int i : {0, 1, 255, 499}) {
        QCOMPARE(many.numbers[i], i + 1);
        const QImage image = many.pages[i]->loadFullImage().value();
        int number = 0;
        for (int b = 0; b < 9; ++b) {
            number |= (qGray(image.pixel(4 + 6 * b, 72)) < 128 ? 1 : 0) << b;
        }
        QCOMPARE(number, i);
        QCOMPARE(many.pages[i]->dpi(), 100.0);
    }
    for (const auto& page : many.pages) {
        page->discard();
    }

    // Cancelled after ten pages: those ten are the receiver's, nothing else
    // is left behind.
    std::atomic<bool> cancel{false};
    const Imported cancelled = import(out.fileName(), settings(), &cancel, 10, &cancel);
    QVERIFY(cancelled.failure);
    QCOMPARE(cancelled.failure->kind, PdfImportFailure::Kind::cancelled);
    QCOMPARE(cancelled.failure->description(), "Adding the PDF 500.pdf was cancelled.");
    QCOMPARE(cancelled.pages.size(), 10);
    QCOMPARE(strays(cancelled.pages), QStringList());
}

void tst_PdfImport::savedDocumentsImportBackUnchanged() {
    // A JPEG page kept as its file and a black-and-white page: saved as PDF
    // and imported again. (A JPEG the saver encodes comes back by the same
    // path as the kept one.)
    const auto made = [this](const QString& name) {
        return ScannedPage::make(QUrl::fromLocalFile(fixture(name)), cache(), 300, false).value();
    };
    ++imports_;
    const auto jpeg = made("colour.jpg");
    const auto mono = made("mono.png");
    const QString saved = dir_.filePath("round-trip.pdf");
    // At a quality no finer than the JPEG's own, its bytes go in as they are.
    QVERIFY(DocumentSaver::savePDF({jpeg, mono}, QUrl::fromLocalFile(saved), 90));

    const Imported back = import(saved);
    QVERIFY(!back.failure);
    QCOMPARE(back.pages.size(), 2);
    QCOMPARE(readAll(back.pages[0]->cacheURL().toLocalFile()), readAll(fixture("colour.jpg")));
    QCOMPARE(back.pages[0]->cacheTurns(), 0); // placed the right way up
    QCOMPARE(back.pages[0]->dpi(), jpeg->dpi());
    QCOMPARE(back.pages[1]->loadFullImage().value(), mono->loadFullImage().value());
    QCOMPARE(back.pages[1]->dpi(), mono->dpi());
}

void tst_PdfImport::readersThatMisbehaveAreRefused() {
    // Whatever the reader sends, the import ends with the file unread,
    // nothing cached, and the reader gone: never a crash or a hang.
    PdfImport::Settings rogue = settings();
    rogue.readerPath = QStringLiteral(ROGUE_READER);
    rogue.stallLimit = std::chrono::milliseconds(500);
    for (const char* mode : {"garbage", "bad-open", "short-count", "too-many-bytes", "huge",
                             "wrong-index", "fake-jpeg", "hang", "silent-after-start", "crash"}) {
        qputenv("PAPERLARK_ROGUE", mode);
        const Imported imported = import(fixture("img2pdf-jpeg.pdf"), rogue);
        QVERIFY2(imported.failure, mode);
        QCOMPARE(imported.failure->description(), "Could not read the PDF img2pdf-jpeg.pdf.");
        QCOMPARE(imported.pages.size(), 0);
        QCOMPARE(strays({}), QStringList());
    }
    qunsetenv("PAPERLARK_ROGUE");
}

QTEST_GUILESS_MAIN(tst_PdfImport)
#include "tst_PdfImport.moc"
