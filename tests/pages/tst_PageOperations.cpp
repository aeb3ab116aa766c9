#include "PageFixtures.h"

#include "pages/ImageFile.h"
#include "pages/PageOperations.h"
#include "pages/SessionManifest.h"
#include "pages/SkewDetector.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace PageFixtures;

namespace {

constexpr int dpi = 150;
const QSize a4(1240, 1754); // at 150 dpi

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class tst_PageOperations : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString session() const { return dir_.filePath("session"); }

    // A page made as an import makes it: from a file outside the session.
    std::shared_ptr<ScannedPage> importPage(const QImage& image, const char* format) {
        const QString source =
            dir_.filePath(QStringLiteral("source-%1.%2").arg(++sources_).arg(format));
        write(source, qtEncoded(image, format == QByteArray("jpg") ? "jpeg" : format, dpi));
        auto page = ScannedPage::make(QUrl::fromLocalFile(source), QUrl::fromLocalFile(session()),
                                      300, false);
        if (!page) {
            qFatal("make failed: %s", qPrintable(page.failure().description()));
        }
        return page.value();
    }
    int sources_ = 0;

private Q_SLOTS:
    void straighteningMakesANewRestorablePage_data();
    void straighteningMakesANewRestorablePage();
    void straightPagesGiveNoNewPage();
    void cropKeepsTheResolutionAndCutsTheRectangle();
};

void tst_PageOperations::straighteningMakesANewRestorablePage_data() {
    // (A grey PNG the right way up: tst_PageEditor::straightenUndoAndTheManifest.)
    QTest::addColumn<bool>("jpeg");
    QTest::addColumn<bool>("mono");
    QTest::addColumn<int>("turns");
    QTest::newRow("1-bit PNG turned") << false << true << 3;
    QTest::newRow("JPEG turned") << true << false << 1;
}

void tst_PageOperations::straighteningMakesANewRestorablePage() {
    QFETCH(bool, jpeg);
    QFETCH(bool, mono);
    QFETCH(int, turns);
    // Skewed pages on a sheet that is turned a quarter the other way round,
    // so that they show straight lines of text only once the turn the page
    // records is applied.
    const QImage text = PageFixtures::textPage(a4, dpi, 11, mono).image;
    QImage source = ImageFile::rotate(skewed(text, 3.5), -turns).value();
    if (jpeg) {
        source = source.convertToFormat(QImage::Format_RGB32);
    }
    const auto page = importPage(source, jpeg ? "jpg" : "png");
    QCOMPARE(page->cacheURL().fileName().endsWith(".jpg"), jpeg);
    QVERIFY(page->rotate(turns));
    QCOMPARE(page->cacheTurns(), jpeg ? turns : 0);
    const QString oldFile = page->cacheURL().toLocalFile();
    const QByteArray oldBytes = readAll(oldFile);

    const auto made = PageOperations::straighten(*page);
    QVERIFY(made);
    QVERIFY(made.value());
    const ScannedPage& straight = **made.value();

    // A new page of its own beside the old one, which stays as it was.
    QVERIFY(straight.id() != page->id());
    QVERIFY(straight.cacheURL() != page->cacheURL());
    QCOMPARE(QFileInfo(straight.cacheURL().toLocalFile()).absolutePath(), session());
    QCOMPARE(straight.cacheURL().fileName().endsWith(".jpg"), jpeg);
    QCOMPARE(readAll(oldFile), oldBytes);
    QCOMPARE(straight.pixelSize(), page->pixelSize());
    QCOMPARE(straight.dpi(), double(dpi));
    QCOMPARE(straight.cacheTurns(), 0);
    QVERIFY(!straight.looksBlank());

    const QImage pixels = straight.loadFullImage().value();
    QCOMPARE(pixels.format(), jpeg   ? QImage::Format_RGB32
                              : mono ? QImage::Format_Mono
                                     : QImage::Format_Grayscale8);
    const auto remaining = SkewDetector::lines(pixels, dpi);
    QVERIFY(remaining && !remaining->runDown);
    QVERIFY2(std::abs(remaining->degrees) <= 0.15, qPrintable(QString::number(remaining->degrees)));

    // A restore reads its file back as it is. (The manifest naming it:
    // tst_PageEditor::straightenUndoAndTheManifest.)
    const auto bytes = SessionManifest::readPageFile(session(), straight.cacheURL().fileName());
    QVERIFY(bytes);
    const auto restored = ImageFile::decode(*bytes, straight.cacheURL(), 1);
    QVERIFY(restored);
    QCOMPARE(restored.value().dpi, double(dpi));
    QCOMPARE(restored.value().image, pixels);
}

void tst_PageOperations::straightPagesGiveNoNewPage() {
    // (Photos and blank pages: tst_Straightening::pagesWithoutMeasurableSkewAreLeftAlone.)
    const auto straight = importPage(PageFixtures::textPage(a4, dpi, 11, false).image, "png");
    const QStringList before = filesIn(session());
    const auto made = PageOperations::straighten(*straight);
    QVERIFY(made);
    QVERIFY(!made.value());
    QCOMPARE(filesIn(session()), before);

    // A page whose file has gone fails as unreadable.
    QFile::remove(straight->cacheURL().toLocalFile());
    const auto gone = PageOperations::straighten(*straight);
    QVERIFY(!gone);
    QCOMPARE(gone.failure().imageFailure()->kind, ImageFile::Failure::Kind::unreadable);
}

void tst_PageOperations::cropKeepsTheResolutionAndCutsTheRectangle() {
    const QImage image = colourImage(600, 800);
    const auto page = importPage(image, "png");
    // (The size, resolution and pixels of a PNG page's crop, through the
    // model: tst_PageEditor::turnUprightAndCrop.) A new page; the old stays.
    const auto cropped = PageOperations::crop(*page, QRect(100, 250, 300, 450));
    QVERIFY(cropped);
    QVERIFY(cropped.value()->id() != page->id());
    QCOMPARE(page->loadFullImage().value(), image);

    // A turned JPEG page is cut as it shows, and stays a JPEG.
    const QImage photo = photoPage(QSize(400, 600), 5);
    const auto jpegPage = importPage(photo, "jpg");
    QVERIFY(jpegPage->rotate(1));
    const auto turnedPiece = PageOperations::crop(*jpegPage, QRect(50, 20, 500, 300));
    QVERIFY(turnedPiece);
    QVERIFY(turnedPiece.value()->cacheURL().fileName().endsWith(".jpg"));
    QCOMPARE(turnedPiece.value()->pixelSize(), QSizeF(500, 300));
    QCOMPARE(turnedPiece.value()->cacheTurns(), 0);
    const QImage expected = jpegPage->loadFullImage().value().copy(50, 20, 500, 300);
    QVERIFY(meanDifference(turnedPiece.value()->loadFullImage().value(), expected) < 1.5);

    // A rectangle reaching beyond the page is cut at its edge; one wholly
    // outside it makes nothing.
    const auto edge = PageOperations::crop(*page, QRect(500, 700, 400, 400));
    QVERIFY(edge);
    QCOMPARE(edge.value()->pixelSize(), QSizeF(100, 100));
    const QStringList before = filesIn(session());
    const auto outside = PageOperations::crop(*page, QRect(700, 0, 50, 50));
    QVERIFY(!outside);
    QCOMPARE(filesIn(session()), before);
}

QTEST_MAIN(tst_PageOperations) // fonts, for the pages of text
#include "tst_PageOperations.moc"
