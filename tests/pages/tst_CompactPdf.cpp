#include "PageFixtures.h"

#include "pages/CompactPage.h"
#include "pages/DocumentSaver.h"
#include "pages/JpegEncoder.h"
#include "pages/MonoBits.h"
#include "pages/PageLayers.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace PageFixtures;

namespace {

constexpr int dpi = 300;
const QSize pageSize(1240, 1754); // half an A4 page at 300 dpi
const QColor paper(247, 245, 238);
const QColor ink(28, 28, 34);
constexpr int quality = 85;

QImage text() {
    return inked(textPage(pageSize, dpi, 11, false).image, paper, ink);
}

// Text with a photograph on a third of the page.
QImage mixed() {
    QImage image = text();
    QPainter painter(&image);
    painter.fillRect(QRect(110, 560, 980, 780), paper);
    painter.drawImage(150, 600, photoPage(QSize(900, 700), 12));
    return image;
}

// Text with a blue rubber stamp over it.
QImage stamped() {
    QImage image = text();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor blue(30, 60, 190);
    painter.setPen(QPen(blue, 12));
    painter.drawRoundedRect(QRect(500, 900, 560, 260), 24, 24);
    painter.fillRect(QRect(560, 960, 440, 36), blue);
    painter.fillRect(QRect(560, 1060, 260, 36), blue);
    return image;
}

// The PDF with its identifiers and date blanked: what is left is the same
// for the same pages.
QByteArray withoutDate(QByteArray pdf) {
    static const QRegularExpression varying(
        QStringLiteral(R"(/CreationDate \([^)]*\)|/ID \[[^\]]*\])"));
    return QString::fromLatin1(pdf).replace(varying, QString()).toLatin1();
}

// The page drawn from the compact page's own parts: each pixel the ink
// colour where the mask marks ink, else the background, both enlarged
// smoothly to the mask's size.
QImage drawnFromParts(const CompactPage& page, const QImage& mask) {
    const auto enlarged = [&mask](const ::PdfImage& part) {
        return QImage::fromData(part.data)
            .convertToFormat(QImage::Format_RGB32)
            .scaled(mask.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage background = enlarged(page.background);
    const QImage foreground = enlarged(page.foreground);
    QImage out(mask.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        const uchar* bits = mask.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const bool isInk = !((bits[x >> 3] >> (7 - (x & 7))) & 1);
            line[x] = (isInk ? foreground : background).pixel(x, y);
        }
    }
    return out;
}

// The pixels at least three pixels away from the mask's edges, where
// renderers smooth and place edges each their own way.
std::vector<bool> awayFromEdges(const QImage& mask) {
    const QImage grey = MonoBits::toGrey(mask);
    const int w = grey.width(), h = grey.height();
    std::vector<int> edge(std::size_t(w) * h, 0);
    for (int y = 0; y + 1 < h; ++y) {
        const uchar* line = grey.constScanLine(y);
        const uchar* next = grey.constScanLine(y + 1);
        for (int x = 0; x + 1 < w; ++x) {
            edge[std::size_t(y) * w + x] = line[x] != line[x + 1] || line[x] != next[x];
        }
    }
    std::vector<bool> away(edge.size(), true);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!edge[std::size_t(y) * w + x]) {
                continue;
            }
            for (int yy = std::max(0, y - 3); yy <= std::min(h - 1, y + 3); ++yy) {
                for (int xx = std::max(0, x - 3); xx <= std::min(w - 1, x + 3); ++xx) {
                    away[std::size_t(yy) * w + xx] = false;
                }
            }
        }
    }
    return away;
}

// How a rendering differs from the page drawn from the parts, away from the
// mask's edges: the mean difference in levels, and the share of pixels off
// by more than 24.
struct Difference {
    double mean = 0;
    double astray = 0;
};
Difference compare(const QImage& rendered, const QImage& expected, const std::vector<bool>& away) {
    const QImage got = rendered.convertToFormat(QImage::Format_RGB32);
    double total = 0;
    qint64 counted = 0, astray = 0;
    for (int y = 0; y < expected.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(got.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
        for (int x = 0; x < expected.width(); ++x) {
            if (!away[std::size_t(y) * expected.width() + x]) {
                continue;
            }
            const int d =
                std::max({std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                          std::abs(qBlue(a[x]) - qBlue(b[x]))});
            total += d;
            astray += d > 24;
            ++counted;
        }
    }
    return {total / double(counted), double(astray) / double(counted)};
}

} // namespace

class tst_CompactPdf : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // A page as the scanner's files leave it in the cache: noisy colour as
    // high-quality JPEG, black and white as PNG.
    std::shared_ptr<ScannedPage> page(const QImage& image, unsigned seed) {
        const bool mono = image.format() == QImage::Format_Mono;
        const QString name = QStringLiteral("source-%1.%2").arg(seed).arg(mono ? "png" : "jpg");
        const QImage scanned = mono ? image : withNoise(image, 3, seed);
        const QUrl source = QUrl::fromLocalFile(path(name));
        const bool written = mono ? ImageFile::writePNG(scanned, source, dpi).ok()
                                  : ImageFile::writeJPEG(scanned, source, dpi, 95).ok();
        if (!written) {
            return nullptr;
        }
        auto made = ScannedPage::make(source, QUrl::fromLocalFile(path("cache")), dpi, true);
        return made ? made.value() : nullptr;
    }

    QString save(const DocumentSaver::Pages& pages, const QString& name,
                 DocumentSaver::ColourPages colourPages) {
        const auto saved = DocumentSaver::save(pages, QUrl::fromLocalFile(path("out")), name,
                                               OutputFormat::pdf, quality, {}, colourPages);
        return saved ? saved.value().front().toLocalFile() : QString();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void compactPagesAsRealToolsReadThem();
    void pagesThatStayAsTheyAre();
};

void tst_CompactPdf::compactPagesAsRealToolsReadThem() {
    // Text, text beside a photograph, a stamped page, and a text page turned
    // a quarter (kept as its JPEG with the turn recorded).
    const DocumentSaver::Pages pages{page(text(), 1), page(mixed(), 2), page(stamped(), 3),
                                     page(text(), 4)};
    QVERIFY(std::all_of(pages.begin(), pages.end(), [](const auto& p) { return p != nullptr; }));
    QVERIFY(pages[3]->rotate(1).ok());
    const QString pdf = save(pages, "compact", DocumentSaver::ColourPages::compactWherePossible);
    const QString whole = save(pages, "whole", DocumentSaver::ColourPages::jpeg);
    QVERIFY(!pdf.isEmpty() && !whole.isEmpty());
    QVERIFY(run("qpdf", {"--check", pdf}).contains("No syntax or stream encoding errors"));
    QCOMPARE(pdfPageSizes(pdf, 4),
             (QStringList{"297.6 x 420.96", "297.6 x 420.96", "297.6 x 420.96", "420.96 x 297.6"}));
    QVERIFY2(QFileInfo(pdf).size() * 3 < QFileInfo(whole).size(),
             qPrintable(QStringLiteral("%1 against %2 bytes")
                            .arg(QFileInfo(pdf).size())
                            .arg(QFileInfo(whole).size())));

    // Each page: a JPEG background and a JPEG of the ink's colours at a
    // third of the resolution, and the 1-bit CCITT mask at full resolution.
    const QList<PageFixtures::PdfImage> images = pdfImages(pdf);
    QCOMPARE(images.size(), 12);
    for (int number = 1; number <= 4; ++number) {
        const QSize full = number == 4 ? pageSize.transposed() : pageSize;
        const QSize third((full.width() + 2) / 3, (full.height() + 2) / 3);
        const QList<PageFixtures::PdfImage> own = images.mid((number - 1) * 3, 3);
        QVERIFY(std::all_of(own.begin(), own.end(),
                            [&](const PageFixtures::PdfImage& i) { return i.page == number; }));
        for (const int i : {0, 1}) {
            QCOMPARE(own[i].type, QStringLiteral("image"));
            QCOMPARE(own[i].encoding, QStringLiteral("jpeg"));
            QCOMPARE(own[i].colour, QStringLiteral("rgb"));
            QCOMPARE(QSize(own[i].width, own[i].height), third);
        }
        QCOMPARE(own[2].type, QStringLiteral("mask")); // the foreground's explicit mask
        QCOMPARE(own[2].encoding, QStringLiteral("ccitt"));
        QCOMPARE(own[2].bitsPerComponent, 1);
        QCOMPARE(QSize(own[2].width, own[2].height), full);
    }

    // poppler and mupdf draw each page as its parts make it.
    run("pdftoppm", {"-r", "300", "-png", pdf, path("poppler")});
    run("mutool", {"draw", "-q", "-r", "300", "-o", path("mupdf-%d.png"), pdf});
    for (int number = 1; number <= 4; ++number) {
        const auto image = pages[number - 1]->loadFullImage();
        QVERIFY(image.ok());
        const auto compact = CompactPage::make(image.value(), quality);
        QVERIFY(compact.has_value());
        const QImage mask = PageLayers::split(image.value()).mask;
        const QImage expected = drawnFromParts(*compact, mask);
        const std::vector<bool> away = awayFromEdges(mask);
        for (const QString& name : {QStringLiteral("poppler-%1.png").arg(number),
                                    QStringLiteral("mupdf-%1.png").arg(number)}) {
            const QImage rendered(path(name));
            QCOMPARE(rendered.size(), expected.size());
            const Difference difference = compare(rendered, expected, away);
            QVERIFY2(difference.mean < 1.5 && difference.astray < 0.005,
                     qPrintable(QStringLiteral("%1: %2 levels on average, %3 % astray")
                                    .arg(name)
                                    .arg(difference.mean)
                                    .arg(difference.astray * 100)));
        }
    }
}

void tst_CompactPdf::pagesThatStayAsTheyAre() {
    // A photograph and a black-and-white page go in as they always did: the
    // document is the same, byte for byte, whether compact pages are asked
    // for or not.
    const QImage mono = textPage(pageSize, dpi, 11, true).image;
    const DocumentSaver::Pages pages{page(photoPage(pageSize, 11), 5), page(mono, 6)};
    QVERIFY(pages[0] && pages[1]);
    const QByteArray compact = withoutDate(
        readAll(save(pages, "photo-compact", DocumentSaver::ColourPages::compactWherePossible)));
    const QByteArray whole =
        withoutDate(readAll(save(pages, "photo-whole", DocumentSaver::ColourPages::jpeg)));
    QVERIFY(!whole.isEmpty());
    QCOMPARE(compact, whole);
    const QList<PageFixtures::PdfImage> images = pdfImages(path("out/photo-compact.pdf"));
    QCOMPARE(images.size(), 2);
    QCOMPARE(images[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(QSize(images[0].width, images[0].height), pageSize);
    QCOMPARE(images[1].encoding, QStringLiteral("ccitt"));

    // A page is compact only where that halves its size: against a stored
    // JPEG the halving is exact; otherwise the JPEG the page would make is
    // measured, only as far as needed.
    const auto textPage = page(text(), 7);
    QVERIFY(textPage);
    const auto image = textPage->loadFullImage();
    QVERIFY(image.ok());
    const auto compactPage = CompactPage::make(image.value(), quality);
    QVERIFY(compactPage.has_value());
    const qint64 half = 2 * compactPage->bytes();
    QVERIFY(CompactPage::make(image.value(), quality, half).has_value());
    QVERIFY(!CompactPage::make(image.value(), quality, half - 1).has_value());
    QBuffer jpeg;
    QVERIFY(jpeg.open(QIODevice::WriteOnly) &&
            JpegEncoder::write(image.value(), jpeg, dpi, quality));
    const qint64 size = jpeg.size();
    QCOMPARE(JpegEncoder::reaches(image.value(), quality, size * 8 / 10), true);
    QCOMPARE(JpegEncoder::reaches(image.value(), quality, size * 12 / 10), false);
}

QTEST_MAIN(tst_CompactPdf)
#include "tst_CompactPdf.moc"
