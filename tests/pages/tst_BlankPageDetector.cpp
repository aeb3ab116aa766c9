#include "PageFixtures.h"

#include "pages/BlankPageDetector.h"
#include "pages/MonoBits.h"

#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <random>

namespace {

// What lies on a test page besides the paper.
enum Mark : unsigned {
    noise = 1,       // sensor noise and dust specks
    holes = 2,       // punched holes and the sheet's edge showing the dark backing
    showThrough = 4, // the back side's text, faint and mirrored
    shortLine = 8,   // one short line of print
    fullText = 16,   // a page of print
};

enum class Depth { colour, grey, mono };

QString depthName(Depth depth) {
    return depth == Depth::colour ? "colour" : depth == Depth::grey ? "grey" : "1-bit";
}

// Word-like runs of pen strokes (no fonts involved), `glyphs` of them from
// `origin`, letters `height` pixels tall.
void drawWords(QPainter& painter, QPointF origin, int glyphs, double height, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double width = height * 0.6;
    double x = origin.x();
    const double y = origin.y();
    for (int i = 0; i < glyphs; ++i) {
        if (i % 5 == 4) { // a space between words
            x += width;
            continue;
        }
        QPainterPath path;
        const double h = height * (unit(random) < 0.3 ? 1.0 : 0.7);
        path.moveTo(x, y);
        path.cubicTo(x + width * unit(random), y - h, x + width * unit(random),
                     y - h * unit(random), x + width * 0.8, y - h * 0.2);
        path.moveTo(x + width * 0.1, y - h * 0.5);
        path.lineTo(x + width * 0.7, y - h * 0.6);
        painter.drawPath(path);
        x += width * 1.1;
    }
}

// An A4 colour page as a scanner delivers it, at `dpi`, with the given marks.
QImage colourPage(int dpi, unsigned marks, unsigned seed) {
    const double px = dpi / 25.4; // pixels per millimetre
    const QSize size(int(std::lround(210 * px)), int(std::lround(297 * px)));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(248, 246, 240));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (marks & showThrough) {
            // Seen from the front the back's print is light, soft and mirrored.
            painter.save();
            painter.translate(size.width(), 0);
            painter.scale(-1, 1);
            painter.setPen(QPen(QColor(196, 194, 188), 0.45 * px, Qt::SolidLine, Qt::RoundCap));
            for (double y = 28; y < 275; y += 6) {
                drawWords(painter, {25 * px, y * px}, 62, 3 * px, random);
            }
            painter.restore();
        }
        const QPen print(QColor(24, 24, 30), 0.25 * px, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(print);
        if (marks & shortLine) {
            drawWords(painter, {30 * px, 45 * px}, 12, 2.5 * px, random);
        }
        if (marks & fullText) {
            for (double y = 30; y < 270; y += 5) {
                drawWords(painter, {25 * px, y * px}, 70, 2.5 * px, random);
            }
        }
        if (marks & holes) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(34, 34, 36));
            for (const double y : {148.5 - 40, 148.5 + 40}) {
                painter.drawEllipse(QPointF(12 * px, y * px), 3 * px, 3 * px);
            }
            // The sheet went in slightly skewed: a wedge of backing at the top.
            painter.drawPolygon(QPolygonF{QPointF(0, 0), QPointF(size.width(), 0),
                                          QPointF(size.width(), 2.5 * px)});
        }
        if (marks & noise) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(60, 60, 60));
            for (int i = 0; i < 80; ++i) { // dust: specks of 0.1 to 0.3 mm, a few to 0.45
                const double r =
                    (i % 10 == 0 ? 0.15 + 0.075 * unit(random) : 0.05 + 0.1 * unit(random)) * px;
                painter.drawEllipse(
                    QPointF(unit(random) * size.width(), unit(random) * size.height()), r, r);
            }
        }
    }
    // Sensor noise of a flatbed: 3.2 grey levels.
    return marks & noise ? PageFixtures::withNoise(image, 3.2, seed) : image;
}

// The same page scanned in colour, grey or black and white. The latest page
// made is kept for the next call, so that asking for one page at each depth
// in turn draws it once.
QImage scannedPage(int dpi, unsigned marks, Depth depth) {
    static std::pair<int, unsigned> latest;
    static QImage image;
    if (image.isNull() || latest != std::pair(dpi, marks)) {
        image = QImage();
        image = colourPage(dpi, marks, marks * 7 + unsigned(dpi));
        latest = {dpi, marks};
    }
    if (depth == Depth::colour) {
        return image;
    }
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    if (depth == Depth::grey) {
        return grey;
    }
    // The scanner thresholds; its noise then shows as stray black pixels and
    // the odd pair.
    QImage mono = MonoBits::fromGrey(grey);
    if (marks & noise) {
        std::mt19937 random(marks + unsigned(dpi));
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const QSize size = mono.size();
        for (int i = 0; i < 400; ++i) {
            const int x = int(unit(random) * (size.width() - 1));
            const int y = int(unit(random) * (size.height() - 1));
            mono.setPixel(x, y, 0);
            if (i % 4 == 0) {
                mono.setPixel(x + 1, y, 0);
            }
        }
    }
    return mono;
}

// An A4 page at 100 dpi of `paper` with sensor noise; with `text`, lines of
// large words in `ink` (thick strokes, as a headline or a poster prints).
QImage colouredSheet(QColor paper, std::optional<QColor> ink) {
    constexpr double px = 100 / 25.4;
    QImage image(QSize(827, 1169), QImage::Format_RGB32);
    image.fill(paper);
    std::mt19937 random(paper.rgb());
    if (ink) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(*ink, 1.5 * px, Qt::SolidLine, Qt::RoundCap));
        for (double y = 60; y < 250; y += 30) {
            drawWords(painter, {30 * px, y * px}, 14, 14 * px, random);
        }
    }
    return PageFixtures::withNoise(image, 2, paper.rgb());
}

} // namespace

class tst_BlankPageDetector : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void flagsBlankScansButNotPrint_data();
    void flagsBlankScansButNotPrint();
    void degenerateImages();
    void colourAndDarkGroundsAreNotBlank();
};

void tst_BlankPageDetector::flagsBlankScansButNotPrint_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<Depth>("depth");
    QTest::addColumn<unsigned>("marks");
    QTest::addColumn<bool>("blank");
    const struct {
        const char* name;
        unsigned marks;
        bool blank;
    } pages[] = {
        {"clean paper", 0, true},
        {"scanner noise", noise, true},
        {"punched holes", noise | holes, true},
        {"show-through", noise | showThrough, true},
        {"holes and show-through", noise | holes | showThrough, true},
        {"one short line", noise | holes | showThrough | shortLine, false},
        {"printed page", noise | fullText, false},
    };
    for (const int dpi : {300, 150}) {
        for (const auto& page : pages) {
            for (const Depth depth : {Depth::colour, Depth::grey, Depth::mono}) {
                QTest::addRow("%d dpi %s, %s", dpi, qPrintable(depthName(depth)), page.name)
                    << dpi << depth << page.marks << page.blank;
            }
        }
    }
}

void tst_BlankPageDetector::flagsBlankScansButNotPrint() {
    QFETCH(int, dpi);
    QFETCH(Depth, depth);
    QFETCH(unsigned, marks);
    QFETCH(bool, blank);
    const QImage page = scannedPage(dpi, marks, depth);
    const double share = BlankPageDetector::inkShare(page, dpi);
    QVERIFY2(BlankPageDetector::looksBlank(share) == blank,
             qPrintable(QStringLiteral("ink share %1").arg(share)));
    if (!blank) { // and not by a hair
        QVERIFY2(share > 2 * BlankPageDetector::blankInkShare,
                 qPrintable(QStringLiteral("ink share %1").arg(share)));
    }
}

void tst_BlankPageDetector::degenerateImages() {
    QCOMPARE(BlankPageDetector::inkShare(QImage(), 300), 0.0);
    QImage tiny(3, 3, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    QCOMPARE(BlankPageDetector::inkShare(tiny, 300), 0.0); // all margin

    // Without a stated resolution, the margin is a share of each side: a hole
    // near the edge still does not count, a line in the middle does.
    const QImage holed = scannedPage(100, noise | holes, Depth::grey);
    QVERIFY(BlankPageDetector::looksBlank(BlankPageDetector::inkShare(holed, 0)));
    const QImage line = scannedPage(100, noise | shortLine, Depth::grey);
    QVERIFY(!BlankPageDetector::looksBlank(BlankPageDetector::inkShare(line, 0)));

    // Transparent pixels are paper.
    QImage clear(800, 1100, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QVERIFY(BlankPageDetector::looksBlank(BlankPageDetector::inkShare(clear, 100)));
}

void tst_BlankPageDetector::colourAndDarkGroundsAreNotBlank() {
    const auto blank = [](const QImage& page) {
        return BlankPageDetector::looksBlank(BlankPageDetector::inkShare(page, 100));
    };
    const QColor white(255, 255, 255), black(25, 25, 30);
    // Pastel copy paper and recycled grey paper are paper: blank unless
    // something is written on them.
    for (const QColor paper : {QColor(250, 244, 196), QColor(214, 232, 250), QColor(222, 240, 214),
                               QColor(215, 213, 208)}) {
        QVERIFY2(blank(colouredSheet(paper, std::nullopt)), qPrintable(paper.name()));
        QVERIFY2(!blank(colouredSheet(paper, black)), qPrintable(paper.name()));
    }
    // A sheet of a strong colour is marked all over, with or without white
    // text on it; so is a dark one with light text.
    for (const QColor ground : {QColor(205, 30, 35), QColor(30, 150, 60), QColor(225, 180, 30),
                                QColor(120, 40, 160), QColor(30, 60, 170), black}) {
        QVERIFY2(!blank(colouredSheet(ground, std::nullopt)), qPrintable(ground.name()));
        QVERIFY2(!blank(colouredSheet(ground, white)), qPrintable(ground.name()));
    }
    // Light colourful marks on white paper are marks (a highlighter).
    QVERIFY(!blank(colouredSheet(white, QColor(255, 240, 70))));
    // Photographs are not blank.
    for (const unsigned seed : {1u, 2u, 3u}) {
        QVERIFY2(!blank(PageFixtures::photoPage(QSize(827, 1169), seed)),
                 qPrintable(QString::number(seed)));
    }
}

QTEST_GUILESS_MAIN(tst_BlankPageDetector)
#include "tst_BlankPageDetector.moc"
