#include "PageFixtures.h"

#include "pages/ImageFile.h"
#include "pages/PageRule.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace PageFixtures;

class tst_ImageFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    void resolutionComesFromTheFileOrTheFallback_data();
    void resolutionComesFromTheFileOrTheFallback();
    void decodingKeepsMeaningfulDepth();
    void aFullPageAt600DpiLoads();
    void badInputIsUnreadable_data();
    void badInputIsUnreadable();
    void writingStoresResolutionAndQuality();
    void rotationByQuarterTurnsKeepsDepthAndFlattensTransparency();
};

// (Files of our own writers are read back in writingStoresResolutionAndQuality.)
void tst_ImageFile::resolutionComesFromTheFileOrTheFallback_data() {
    QVERIFY(dir_.isValid());
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("expectedDpi");
    const QImage colour = colourImage(40, 30);
    const double fallback = 150;

    QTest::newRow("PNG at 0.99 dpi counts as none") << qtEncoded(colour, "png", 0.99) << fallback;
    QTest::newRow("JPEG, resolution only in Exif") << jpegWithExifOnly(colour, 200) << 200.0;
    QTest::newRow("TIFF tag, inches") << tiffWithResolution(200, 1, 2) << 200.0;
    QTest::newRow("TIFF tag, default unit") << tiffWithResolution(400, 2, 0) << 200.0;
    QTest::newRow("TIFF tag, centimetres") << tiffWithResolution(100, 1, 3) << 254.0;
    QTest::newRow("TIFF at the highest resolution a page takes")
        << tiffWithResolution(quint32(PageRule::maxDpi), 1, 2) << PageRule::maxDpi;
    QTest::newRow("TIFF tag without absolute unit") << tiffWithResolution(200, 1, 1) << 200.0;
    QTest::newRow("TIFF tag without unit, below 1") << tiffWithResolution(1, 2, 1) << fallback;
    QTest::newRow("TIFF without tag") << tiffWithResolution(0, 0, 0) << fallback;
    QTest::newRow("BMP at 300 dpi") << qtEncoded(colour, "bmp", 300) << 300.0;
    QByteArray bmp = qtEncoded(colour, "bmp", 300);
    bmp.replace(38, 8, QByteArray(8, '\0')); // no pixels per metre
    QTest::newRow("BMP without resolution") << bmp << fallback;
}

void tst_ImageFile::resolutionComesFromTheFileOrTheFallback() {
    QFETCH(QByteArray, bytes);
    QFETCH(double, expectedDpi);
    const QUrl url = write(path("resolution.img"), bytes);
    const auto decoded = ImageFile::read(url, 150);
    QVERIFY2(decoded.ok(), qPrintable(decoded.ok() ? QString() : decoded.failure().description()));
    QCOMPARE(decoded.value().dpi, expectedDpi);
    QVERIFY(!decoded.value().image.isNull());
}

void tst_ImageFile::decodingKeepsMeaningfulDepth() {
    // 1-bit stays 1-bit with black as index 0, whatever the file's palette order.
    QImage inverted = monoImage(33, 20);
    inverted.invertPixels();
    inverted.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // same look, other order
    for (const QImage& mono : {monoImage(33, 20), inverted}) {
        const QUrl url = write(path("mono.png"), qtEncoded(mono, "png", 300));
        const auto decoded = ImageFile::read(url, 300);
        QVERIFY(decoded.ok());
        const QImage& image = decoded.value().image;
        QCOMPARE(image.format(), QImage::Format_Mono);
        QCOMPARE(image.colorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
        QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(32, 19), qRgb(255, 255, 255));
    }
    // Grey, colour and transparent sources. (A 1-bit TIFF and a grey JPEG,
    // and our own PNG of each depth: tst_ScannedPage::depthSurvivesCacheAndRotation.)
    const struct {
        QImage image;
        const char* format;
        QImage::Format expected;
    } cases[] = {
        {greyImage(16, 16), "png", QImage::Format_Grayscale8},
        {colourImage(16, 16), "bmp", QImage::Format_RGB32},
        {QImage(16, 16, QImage::Format_ARGB32), "png", QImage::Format_ARGB32},
    };
    for (const auto& c : cases) {
        const QUrl url = write(path("depth.img"), qtEncoded(c.image, c.format, 300));
        const auto decoded = ImageFile::read(url, 300);
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.value().image.format(), c.expected);
    }
}

void tst_ImageFile::aFullPageAt600DpiLoads() {
    // A4 in colour at 600 dpi takes 139 MB decoded, more than Qt allows by default.
    QImage page(4960, 7016, QImage::Format_RGB32);
    page.fill(qRgb(250, 248, 240));
    const QUrl url = QUrl::fromLocalFile(path("a4-600.png"));
    QVERIFY(ImageFile::writePNG(page, url, 600));
    page = QImage();
    const auto decoded = ImageFile::read(url, 300);
    QVERIFY(decoded.ok());
    QCOMPARE(decoded.value().image.size(), QSize(4960, 7016));
    QFile::remove(url.toLocalFile());

    // So does the longest side every output takes.
    const QUrl longest =
        write(path("longest.png"), qtEncoded(monoImage(PageRule::maxSide, 2), "png", 300));
    const auto strip = ImageFile::read(longest, 300);
    QVERIFY(strip.ok());
    QCOMPARE(strip.value().image.width(), PageRule::maxSide);
}

void tst_ImageFile::badInputIsUnreadable_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QImage image = colourImage(64, 48);
    const QByteArray png = qtEncoded(image, "png", 300);
    const QByteArray jpeg = qtEncoded(image, "jpeg", 300);
    const QByteArray tiff = qtEncoded(image, "tiff", 300);
    const QByteArray bmp = qtEncoded(image, "bmp", 300);
    QTest::newRow("zero bytes") << QByteArray();
    QTest::newRow("truncated PNG") << png.left(png.size() / 2);
    QTest::newRow("truncated JPEG") << jpeg.left(jpeg.size() * 2 / 3);
    QTest::newRow("truncated TIFF") << tiff.left(tiff.size() / 2);
    QTest::newRow("truncated BMP") << bmp.left(bmp.size() / 2);
    QByteArray corrupt = png;
    for (qsizetype i = 60; i < corrupt.size() - 20; i += 7) {
        corrupt[i] = char(corrupt[i] ^ 0x5A);
    }
    QTest::newRow("corrupt PNG") << corrupt;
    QTest::newRow("text") << QByteArray("This is not an image, just some words.\n");
    QTest::newRow("decompression bomb") << pngDeclaring(60000, 60000);
    // Sizes that fit in memory but not in every output format.
    QTest::newRow("RLE BMP of 4587520 x 46") << rle8BmpDeclaring(4587520, 46);
    QTest::newRow("PNG wider than a PDF page image")
        << qtEncoded(monoImage(PageRule::maxSide + 1, 1), "png", 300);
    QTest::newRow("BMP taller than a PDF page image") << rle8BmpDeclaring(1, PageRule::maxSide + 1);
    // A resolution no page takes is refused here, not dropped at a restore.
    QTest::newRow("TIFF above the highest resolution")
        << tiffWithResolution(quint32(PageRule::maxDpi) + 1, 1, 2);
    QTest::newRow("PNG at 200000 dpi") << qtEncoded(image, "png", 200000);
    // Header fields whose product does not fit in 64 bits (no sanitizer
    // complaint, and no file that seems to hold its rows).
    QByteArray huge = qtEncoded(image, "bmp", 300);
    const auto put32 = [&huge](int at, quint32 value) {
        for (int i = 0; i < 4; ++i) {
            huge[at + i] = char((value >> (8 * i)) & 0xFF);
        }
    };
    put32(18, 0x7FFFFFFF); // width
    put32(22, 0x7FFFFFFF); // height
    huge[28] = char(0xFF); // 65535 bits per pixel
    huge[29] = char(0xFF);
    QTest::newRow("BMP whose row bytes overflow") << huge;
}

void tst_ImageFile::badInputIsUnreadable() {
    QFETCH(QByteArray, bytes);
    const QUrl url = write(path("bad input.png"), bytes);
    const auto decoded = ImageFile::read(url, 300);
    QVERIFY(!decoded.ok());
    QCOMPARE(decoded.failure().kind, ImageFile::Failure::Kind::unreadable);
    QCOMPARE(decoded.failure().url, url);
    QCOMPARE(decoded.failure().description(),
             QStringLiteral("Could not read the image at bad input.png."));
}

void tst_ImageFile::writingStoresResolutionAndQuality() {
    const QImage image = colourImage(120, 90);
    const QUrl png = QUrl::fromLocalFile(path("written.png"));
    const QUrl jpg = QUrl::fromLocalFile(path("written.jpg"));

    // Resolution survives the round trip; none is written at 1 dpi or less.
    for (const double dpi : {200.0, 1.0, 0.0}) {
        QVERIFY(ImageFile::writePNG(image, png, dpi));
        QVERIFY(ImageFile::writeJPEG(image, jpg, dpi, 80));
        const double expected = dpi > 1 ? dpi : 123.0;
        QCOMPARE(ImageFile::read(png, 123).value().dpi, expected);
        QCOMPARE(ImageFile::read(jpg, 123).value().dpi, expected);
    }

    // Quality percentages are clamped to 10...100.
    const auto jpegAt = [&](int quality) {
        return ImageFile::writeJPEG(image, jpg, 300, quality) ? readAll(jpg.toLocalFile())
                                                              : QByteArray();
    };
    QVERIFY(!jpegAt(50).isEmpty());
    QCOMPARE(jpegAt(0), jpegAt(10));
    QCOMPARE(jpegAt(250), jpegAt(100));
    QVERIFY(jpegAt(10).size() < jpegAt(100).size());

    // A failure names only the file. (Folders and missing files given as
    // images are tested through the model's import, which reports them.)
    const QUrl missingFolder = QUrl::fromLocalFile(path("no such folder/page.png"));
    const auto unwritable = ImageFile::writePNG(colourImage(8, 8), missingFolder, 300);
    QVERIFY(!unwritable.ok());
    QCOMPARE(unwritable.failure().kind, ImageFile::Failure::Kind::unwritable);
    QCOMPARE(unwritable.failure().description(), QStringLiteral("Could not write page.png."));
}

void tst_ImageFile::rotationByQuarterTurnsKeepsDepthAndFlattensTransparency() {
    // 40 x 60 with a red block in the top-left quarter-width band.
    const QImage image = colourImage(40, 60);
    const QRgb red = image.pixel(0, 0);
    const QRgb paper = image.pixel(39, 59);

    const QImage once = ImageFile::rotate(image, 1).value();
    QCOMPARE(once.size(), QSize(60, 40));
    QCOMPARE(once.pixel(59, 0), red); // top-left went to top-right
    QCOMPARE(once.pixel(0, 0), paper);

    const QImage twice = ImageFile::rotate(image, 2).value();
    QCOMPARE(twice.size(), QSize(40, 60));
    QCOMPARE(twice.pixel(39, 59), red);

    QCOMPARE(ImageFile::rotate(image, -7).value(), once);

    // No turn at all returns the very same image.
    QCOMPARE(ImageFile::rotate(image, 0).value().cacheKey(), image.cacheKey());
    QCOMPARE(ImageFile::rotate(image, 8).value().cacheKey(), image.cacheKey());

    const QImage mono = monoImage(37, 21); // black block at the top left, odd width
    const QImage monoTurned = ImageFile::rotate(mono, 1).value();
    QCOMPARE(monoTurned.format(), QImage::Format_Mono);
    QCOMPARE(monoTurned.size(), QSize(21, 37));
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 21; ++x) { // clockwise: (x, y) comes from (y, 20 - x)
            QCOMPARE(monoTurned.pixelIndex(x, y), mono.pixelIndex(y, 20 - x));
        }
    }
    QCOMPARE(ImageFile::rotate(monoTurned, 3).value(), mono);

    const QImage grey = greyImage(30, 20);
    const QImage greyTurned = ImageFile::rotate(grey, 3).value();
    QCOMPARE(greyTurned.format(), QImage::Format_Grayscale8);
    QCOMPARE(greyTurned.pixelColor(0, 29), grey.pixelColor(0, 0)); // anticlockwise

    QImage clear(10, 6, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const QImage flattened = ImageFile::rotate(clear, 1).value();
    QVERIFY(!flattened.hasAlphaChannel());
    QCOMPARE(flattened.pixel(3, 3), qRgb(255, 255, 255));
}

QTEST_GUILESS_MAIN(tst_ImageFile)
#include "tst_ImageFile.moc"
