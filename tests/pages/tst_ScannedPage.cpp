#include "PageFixtures.h"

#include "pages/ImageHeader.h"
#include "pages/ScannedPage.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace PageFixtures;

namespace {

// Bit depth and colour type from a PNG file's IHDR.
std::pair<int, int> pngDepthAndColourType(const QString& path) {
    const QByteArray bytes = readAll(path);
    return {quint8(bytes[24]), quint8(bytes[25])};
}

double statedDpi(const QString& path) {
    return ImageHeader::parse(readAll(path)).dpi.value_or(0);
}

bool isGrey(QRgb c) {
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

} // namespace

class tst_ScannedPage : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    QUrl cacheFolder() const { return QUrl::fromLocalFile(path("cache")); }

    std::shared_ptr<ScannedPage> makePage(const QImage& image, const char* format, double dpi,
                                          const QString& name = "source.img") {
        const QUrl source = write(path(name), qtEncoded(image, format, dpi));
        auto page = ScannedPage::make(source, cacheFolder(), 300, false);
        if (!page) {
            qFatal("make failed: %s", qPrintable(page.failure().description()));
        }
        return page.value();
    }

private Q_SLOTS:
    void makeCopiesTheSourceIntoTheCache();
    void failedMakeLeavesNothingBehind();
    void thumbnailGeometry();
    void previewDisplaySize();
    void rotationRewritesTheCacheFile();
    void depthSurvivesCacheAndRotation();
    void descriptionTruncatesSizeAndRoundsResolution();
};

void tst_ScannedPage::makeCopiesTheSourceIntoTheCache() {
    QVERIFY(dir_.isValid());
    const QUrl source = write(path("import.jpg"), qtEncoded(colourImage(1700, 2200), "jpeg", 200));
    const QUrl nested = QUrl::fromLocalFile(path("cache/deeper/still"));
    const auto made = ScannedPage::make(source, nested, 300, false);
    QVERIFY(made.ok());
    const ScannedPage& page = *made.value();

    // A JPEG is kept as it came: same bytes, so the same pixels.
    const QString name = page.cacheURL().fileName();
    QVERIFY(QRegularExpression("^page_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.jpg$")
                .match(name)
                .hasMatch());
    QCOMPARE(QFileInfo(page.cacheURL().toLocalFile()).absolutePath(), nested.toLocalFile());
    QVERIFY(!name.contains(page.id().toString(QUuid::WithoutBraces).toUpper()));
    QCOMPARE(readAll(page.cacheURL().toLocalFile()), readAll(source.toLocalFile()));

    QCOMPARE(page.pixelSize(), QSizeF(1700, 2200));
    QCOMPARE(page.dpi(), 200.0);
    QVERIFY(QFile::exists(source.toLocalFile())); // imported: source kept

    // A scanned file is removed once its copy is in the cache; a file without
    // resolution gets the fallback.
    QImage noResolution = colourImage(50, 70);
    const QUrl scanned = QUrl::fromLocalFile(path("scanned.png"));
    QVERIFY(ImageFile::writePNG(noResolution, scanned, 0));
    const auto fromScan = ScannedPage::make(scanned, cacheFolder(), 150, true);
    QVERIFY(fromScan.ok());
    QVERIFY(!QFile::exists(scanned.toLocalFile()));
    QCOMPARE(fromScan.value()->dpi(), 150.0);
    // Anything else becomes a PNG, lossless.
    const QString png = fromScan.value()->cacheURL().toLocalFile();
    QVERIFY(png.endsWith(".png"));
    QCOMPARE(readAll(png).left(4), QByteArray("\x89PNG"));
    QCOMPARE(fromScan.value()->loadFullImage().value(), noResolution);

    // A JPEG as large as its pixels (here: padded with a comment block) is
    // not worth keeping: it becomes a PNG too.
    QByteArray padded = qtEncoded(colourImage(40, 30), "jpeg", 200);
    QCOMPARE(padded.mid(2, 2), QByteArray("\xFF\xE0")); // JFIF first
    const int afterJfif = 4 + quint8(padded[4]) * 256 + quint8(padded[5]);
    const QByteArray comment = QByteArray("\xFF\xFE\x00\x10", 4) + QByteArray(0x10 - 2, 'x');
    for (int i = 0; i < 400; ++i) {
        padded.insert(afterJfif, comment);
    }
    const auto bulky =
        ScannedPage::make(write(path("bulky.jpg"), padded), cacheFolder(), 300, false);
    QVERIFY(bulky.ok());
    QVERIFY(bulky.value()->cacheURL().fileName().endsWith(".png"));
    QCOMPARE(bulky.value()->dpi(), 200.0);

    // Nothing but complete page files in the cache: no temporary leftovers.
    for (const QString& entry :
         QDir(cacheFolder().toLocalFile()).entryList(QDir::Files | QDir::Hidden)) {
        QVERIFY2(entry.startsWith("page_"), qPrintable(entry));
    }
}

void tst_ScannedPage::failedMakeLeavesNothingBehind() {
    const QUrl cache = QUrl::fromLocalFile(path("failures"));
    const QUrl broken = write(path("broken.jpg"), "\xFF\xD8\xFF\xE0 not really");
    const auto unreadable = ScannedPage::make(broken, cache, 300, true);
    QVERIFY(!unreadable.ok());
    QVERIFY(unreadable.failure().imageFailure());
    QCOMPARE(unreadable.failure().imageFailure()->kind, ImageFile::Failure::Kind::unreadable);
    QCOMPARE(unreadable.failure().description(),
             QStringLiteral("Could not read the image at broken.jpg."));
    QVERIFY(QFile::exists(broken.toLocalFile())); // not removed despite removingSource
    QVERIFY(QDir(cache.toLocalFile()).isEmpty());

    // A cache folder that cannot be created: a file is in the way.
    const QUrl good = write(path("good.png"), qtEncoded(colourImage(10, 10), "png", 300));
    write(path("a file"), "x");
    const QUrl blocked = QUrl::fromLocalFile(path("a file/cache"));
    const auto noFolder = ScannedPage::make(good, blocked, 300, true);
    QVERIFY(!noFolder.ok());
    QVERIFY(!noFolder.failure().imageFailure());
    QCOMPARE(noFolder.failure().description(),
             QStringLiteral("Could not create the folder at %1 (Not a directory).")
                 .arg(blocked.toLocalFile()));
    QVERIFY(QFile::exists(good.toLocalFile()));
}

void tst_ScannedPage::thumbnailGeometry() {
    // Portrait 1000 x 1400: scale 152/1400, so 108.6 x 152 at (5.7, 4).
    QImage portrait(1000, 1400, QImage::Format_RGB32);
    portrait.fill(qRgb(0, 0, 255));
    const QImage thumb = ScannedPage::makeThumbnail(portrait);
    QCOMPARE(thumb.size(), QSize(120, 160));
    QCOMPARE(thumb.pixel(2, 80), qRgb(255, 255, 255)); // left margin
    QCOMPARE(thumb.pixel(60, 80), qRgb(0, 0, 255));    // the page itself

    // Landscape 1400 x 1000: scale 112/1400, so 112 x 80 at (4, 40).
    const QImage wide = ScannedPage::makeThumbnail(portrait.transformed(QTransform().rotate(90)));
    QCOMPARE(wide.pixel(60, 30), qRgb(255, 255, 255));
    QCOMPARE(wide.pixel(60, 45), qRgb(0, 0, 255));

    // Black-and-white pages give a grey-scale thumbnail, not a 1-bit one.
    QImage mono(2480, 3508, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    for (int y = 0; y < 3508; y += 2) { // fine stripes average to mid grey
        std::memset(mono.scanLine(y), 0, size_t(mono.bytesPerLine()));
    }
    const QRgb stripes = ScannedPage::makeThumbnail(mono).pixel(60, 80);
    QVERIFY2(isGrey(stripes) && qRed(stripes) > 100 && qRed(stripes) < 155, "averaged stripes");
}

void tst_ScannedPage::previewDisplaySize() {
    QCOMPARE(ScannedPage::previewDisplaySize({150, 200}), QSizeF(150, 200));
    QCOMPARE(ScannedPage::previewDisplaySize({2480, 3508}), QSizeF(2480.0 * 1400 / 3508, 1400));

    const auto page = makePage(colourImage(150, 200), "png", 300, "preview.png");
    const auto preview = page->loadPreviewImage();
    QVERIFY(preview);
    QCOMPARE(preview->image.size(), QSize(150, 200));
    QCOMPARE(preview->displaySize, QSizeF(150, 200));

    page->discard();
    QVERIFY(!page->loadPreviewImage());
    QCOMPARE(page->loadFullImage().failure().kind, ImageFile::Failure::Kind::unreadable);
}

void tst_ScannedPage::rotationRewritesTheCacheFile() {
    const auto page = makePage(colourImage(1000, 1400), "png", 200, "rotate.png");
    const QString cache = page->cacheURL().toLocalFile();
    // (Pixels, size, file and thumbnail of a turned page: depthSurvivesCacheAndRotation.)
    // Four turns leave the pixels alone but still rewrite the file: a copy
    // stating 72 dpi comes back stating the page's 200.
    write(cache, qtEncoded(colourImage(1000, 1400), "png", 72));
    QVERIFY(page->rotate(4));
    QCOMPARE(page->quarterTurns(), 0);
    QVERIFY(page->rotate(-2));
    QCOMPARE(page->quarterTurns(), 2);
    QVERIFY(page->rotate(2));
    QCOMPARE(statedDpi(cache), 200.0);
    QCOMPARE(page->loadFullImage().value(), colourImage(1000, 1400));

    // A failed rotation changes nothing.
    page->discard();
    const QImage before = page->thumbnail();
    const auto failed = page->rotate(1);
    QVERIFY(!failed.ok());
    QCOMPARE(page->quarterTurns(), 0);
    QCOMPARE(failed.failure().kind, ImageFile::Failure::Kind::unreadable);
    QCOMPARE(page->pixelSize(), QSizeF(1000, 1400));
    QCOMPARE(page->thumbnail(), before);
}

void tst_ScannedPage::depthSurvivesCacheAndRotation() {
    const struct {
        QImage image;
        const char* format;
        int bitDepth;
        int colourType; // 0 grey, 2 RGB
    } cases[] = {
        {monoImage(301, 203), "tiff", 1, 0},
        {greyImage(301, 203), "png", 8, 0},
        {greyImage(301, 203), "jpeg", 8, 0},
        {colourImage(301, 203), "jpeg", 8, 2},
    };
    for (const auto& c : cases) {
        const auto page =
            makePage(c.image, c.format, 300, QStringLiteral("depth.%1").arg(c.format));
        const QString kept = page->cacheURL().toLocalFile();
        const QImage before = page->loadFullImage().value();
        const bool jpeg = QByteArray(c.format) == "jpeg";
        const QByteArray keptBytes = readAll(kept);
        if (jpeg) {
            // Kept as the JPEG, whose bytes a rotation never touches: the turn
            // is recorded, and the pixels are the file's turned.
            QVERIFY(kept.endsWith(".jpg"));
            QCOMPARE(before.format(), c.bitDepth == 8 && c.colourType == 0
                                          ? QImage::Format_Grayscale8
                                          : QImage::Format_RGB32);
        } else { // exact pixels at their depth
            QCOMPARE(pngDepthAndColourType(kept), std::make_pair(c.bitDepth, c.colourType));
            QCOMPARE(before, c.image);
        }
        // A turn neither moves the file nor measures the page again.
        const std::optional<double> share = page->inkShare();
        QVERIFY(share);
        QVERIFY(page->rotate(1));
        QCOMPARE(page->inkShare(), share);
        QCOMPARE(page->dpi(), 300.0);
        QCOMPARE(page->cacheURL().toLocalFile(), kept);
        QCOMPARE(page->cacheTurns(), jpeg ? 1 : 0);
        QCOMPARE(readAll(kept) == keptBytes, jpeg);
        if (!jpeg) {
            QCOMPARE(pngDepthAndColourType(kept), std::make_pair(c.bitDepth, c.colourType));
            QCOMPARE(statedDpi(kept), 300.0);
        }
        QCOMPARE(page->loadFullImage().value(), ImageFile::rotate(before, 1).value());
        QCOMPARE(page->pixelSize(), QSizeF(203, 301));
        QCOMPARE(page->thumbnail(),
                 ScannedPage::makeThumbnail(ImageFile::rotate(before, 1).value()));
        QCOMPARE(page->revision(), 1);
        QVERIFY(page->rotate(2));
        QCOMPARE(page->cacheTurns(), jpeg ? 3 : 0);
        QCOMPARE(page->loadFullImage().value(), ImageFile::rotate(before, 3).value());
        QVERIFY(page->rotate(1));
        QCOMPARE(page->cacheTurns(), 0);
        QCOMPARE(page->loadFullImage().value(), before);
        QCOMPARE(page->pixelSize(), QSizeF(301, 203));
        if (jpeg) {
            QCOMPARE(readAll(kept), keptBytes);
        }
    }
}

void tst_ScannedPage::descriptionTruncatesSizeAndRoundsResolution() {
    const auto describe = [](QSizeF size, double dpi) {
        return ScannedPage(QUuid::createUuid(), QUrl(), size, dpi, QImage()).description();
    };
    QCOMPARE(describe({2480, 3508}, 300), QStringLiteral("2480 x 3508 px @ 300 dpi"));
    QCOMPARE(describe({2480.9, 3508.99}, 299.5), QStringLiteral("2480 x 3508 px @ 300 dpi"));
}

QTEST_GUILESS_MAIN(tst_ScannedPage)
#include "tst_ScannedPage.moc"
