#include "PageFixtures.h"

#include "pages/MonoBits.h"
#include "pages/PageLayers.h"

#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cmath>
#include <random>

using namespace PageFixtures;

namespace {

constexpr int dpi = 300;
const QSize pageSize(1240, 1754); // A4 at 150 dpi, drawn as if at 300: half a page
const QColor paper(247, 245, 238);
const QColor ink(28, 28, 34);

// A page of 11-point text as a colour flatbed scans it.
QImage textPage(unsigned seed = 1) {
    return withNoise(inked(PageFixtures::textPage(pageSize, dpi, 11, false).image, paper, ink), 3,
                     seed);
}

// Pencil: grainy grey strokes, lighter than print and broken by the paper's
// grain.
void drawPencil(QImage& page, const QRect& area, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QImage strokes(page.size(), QImage::Format_Grayscale8);
    strokes.fill(255);
    {
        QPainter painter(&strokes);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 4));
        for (double y = area.top() + 20; y < area.bottom(); y += 45) {
            QPainterPath path(QPointF(area.left(), y));
            for (double x = area.left(); x < area.right(); x += 30) {
                path.cubicTo(x + 10, y - 25 * unit(random), x + 20, y + 25 * unit(random), x + 30,
                             y);
            }
            painter.drawPath(path);
        }
    }
    for (int y = 0; y < page.height(); ++y) {
        const uchar* s = strokes.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            // Graphite covers 30...90 % of the paper under a stroke.
            const double cover = (255 - s[x]) / 255.0 * (0.3 + 0.6 * unit(random));
            const auto darken = [cover](int v) { return int(v - cover * (v - 120)); };
            const QRgb p = line[x];
            line[x] = qRgb(darken(qRed(p)), darken(qGreen(p)), darken(qBlue(p)));
        }
    }
}

// The share of the mask's pixels that are ink.
double inkShare(const QImage& mask) {
    qint64 ink = 0;
    const QImage grey = MonoBits::toGrey(mask);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        ink += std::count(line, line + grey.width(), uchar(0));
    }
    return double(ink) / (double(mask.width()) * mask.height());
}

bool isInk(const QImage& mask, int x, int y) {
    return !((mask.constScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1);
}

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

class tst_PageLayers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textPageSplitsIntoMaskInkAndPaper();
    void colouredStampKeepsItsColour();
    void picturesStayInTheBackground();
    void pencilGreyAndUnsuitablePages();
};

void tst_PageLayers::textPageSplitsIntoMaskInkAndPaper() {
    const QImage page = textPage();
    const PageLayers layers = PageLayers::split(page);
    // (The layers' sizes: tst_CompactPdf, as pdfimages lists them.)
    QCOMPARE(layers.outcome, PageLayers::Outcome::layered);
    QCOMPARE(layers.pictureShare, 0.0);

    // The mask holds what is darker than half-way between ink and paper,
    // nothing else: as much ink as the page has, to within a few per cent.
    qint64 dark = 0, agree = 0, masked = 0;
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const bool isDark = qGray(line[x]) < 136;
            const bool inMask = isInk(layers.mask, x, y);
            dark += isDark;
            masked += inMask;
            agree += isDark && inMask;
        }
    }
    QVERIFY2(
        dark > 0 && agree >= dark * 97 / 100 && masked <= dark * 103 / 100,
        qPrintable(QStringLiteral("%1 dark, %2 masked, %3 both").arg(dark).arg(masked).arg(agree)));

    // The text is gone from the background: paper everywhere, even where the
    // words were (give or take the noise of the few pixels a cell beside a
    // letter has). The ink's colour is the ink's, not paler.
    for (int y = 0; y < layers.background.height(); ++y) {
        for (int x = 0; x < layers.background.width(); ++x) {
            const QRgb back = layers.background.pixel(x, y);
            QVERIFY2(distance(back, paper.rgb()) <= 10,
                     qPrintable(QStringLiteral("background at %1,%2").arg(x).arg(y)));
            bool solid = true;
            for (int i = 0; i < 9 && solid; ++i) {
                solid = isInk(layers.mask, x * 3 + i % 3, y * 3 + i / 3);
            }
            if (solid) {
                QVERIFY2(distance(layers.foreground.pixel(x, y), ink.rgb()) <= 24,
                         qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
            }
        }
    }

    // The same page gives the same layers every time.
    const PageLayers again = PageLayers::split(page);
    QCOMPARE(again.mask, layers.mask);
    QCOMPARE(again.background, layers.background);
    QCOMPARE(again.foreground, layers.foreground);
}

void tst_PageLayers::colouredStampKeepsItsColour() {
    // A red rubber stamp over the text: a frame, and bars taller than a tile.
    QImage clean = inked(PageFixtures::textPage(pageSize, dpi, 11, false).image, paper, ink);
    const QColor red(196, 32, 44);
    const QRect stamp(300, 500, 600, 340);
    {
        QPainter painter(&clean);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(red, 14));
        painter.drawRoundedRect(stamp, 30, 30);
        painter.fillRect(QRect(360, 570, 480, 70), red);
        painter.fillRect(QRect(360, 700, 300, 70), red);
    }
    const PageLayers layers = PageLayers::split(withNoise(clean, 3, 2));
    QCOMPARE(layers.outcome, PageLayers::Outcome::layered);
    QCOMPARE(layers.pictureShare, 0.0); // solid ink is line art, however large

    // Every pixel of the stamp and of the text on it is in the mask, and
    // where the pixels around it are all of one ink, its colour is that ink's.
    const auto solid = [&clean](int x, int y, QRgb colour) {
        for (int dy = -3; dy <= 3; ++dy) {
            for (int dx = -3; dx <= 3; ++dx) {
                if (distance(clean.pixel(x + dx, y + dy), colour) > 2) {
                    return false;
                }
            }
        }
        return true;
    };
    int checked = 0;
    for (int y = stamp.top(); y <= stamp.bottom(); ++y) {
        for (int x = stamp.left(); x <= stamp.right(); ++x) {
            for (const QRgb colour : {red.rgb(), ink.rgb()}) {
                if (!solid(x, y, colour)) {
                    continue;
                }
                ++checked;
                const QRgb fg = layers.foreground.pixel(x / 3, y / 3);
                QVERIFY2(isInk(layers.mask, x, y) && distance(fg, colour) <= 24,
                         qPrintable(QStringLiteral("%1 for %2 at %3,%4")
                                        .arg(fg, 0, 16)
                                        .arg(colour, 0, 16)
                                        .arg(x)
                                        .arg(y)));
            }
        }
    }
    QVERIFY(checked > 30000);
}

void tst_PageLayers::picturesStayInTheBackground() {
    // A photograph over the whole page is mostly picture.
    const PageLayers whole = PageLayers::split(withNoise(photoPage(pageSize, 5), 3, 3));
    QCOMPARE(whole.outcome, PageLayers::Outcome::mostlyPicture);
    QVERIFY(whole.mask.isNull() && whole.background.isNull());

    // Text with a photograph on a third of the page: the photograph goes into
    // the background whole (no ink cut out of it), the text into the mask.
    QImage mixed = inked(PageFixtures::textPage(pageSize, dpi, 11, false).image, paper, ink);
    const QRect picture(150, 600, 900, 700);
    {
        QPainter painter(&mixed);
        painter.fillRect(picture.adjusted(-40, -40, 40, 40), paper);
        painter.drawImage(picture.topLeft(), photoPage(picture.size(), 4));
    }
    const QImage scanned = withNoise(mixed, 3, 4);
    const PageLayers layers = PageLayers::split(scanned);
    QCOMPARE(layers.outcome, PageLayers::Outcome::layered);
    QVERIFY2(layers.pictureShare > 0.2 && layers.pictureShare < 0.5,
             qPrintable(QString::number(layers.pictureShare)));
    QCOMPARE(inkShare(layers.mask.copy(picture)), 0.0);
    QVERIFY(inkShare(layers.mask.copy(0, 0, pageSize.width(), 500)) > 0.01);
    // The background holds the photograph at its reduced resolution.
    double squares = 0;
    int cells = 0;
    const QImage reduced =
        scanned.scaled(layers.background.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int y = picture.top() / 3 + 4; y < picture.bottom() / 3 - 4; ++y) {
        for (int x = picture.left() / 3 + 4; x < picture.right() / 3 - 4; ++x) {
            const int d = qGray(layers.background.pixel(x, y)) - qGray(reduced.pixel(x, y));
            squares += d * d;
            ++cells;
        }
    }
    QVERIFY2(std::sqrt(squares / cells) < 6,
             qPrintable(QString::number(std::sqrt(squares / cells))));

    // A flat tinted band is no picture: the text on it stays in the mask.
    const QImage grey = PageFixtures::textPage(pageSize, dpi, 11, false).image;
    const QRect band(0, 300, pageSize.width(), 500);
    QImage tinted = inked(grey, paper, ink);
    const QImage onBand = inked(grey.copy(band), QColor(200, 205, 215), ink);
    {
        QPainter painter(&tinted);
        painter.drawImage(band.topLeft(), onBand);
    }
    const PageLayers banded = PageLayers::split(withNoise(tinted, 3, 8));
    QCOMPARE(banded.outcome, PageLayers::Outcome::layered);
    QCOMPARE(banded.pictureShare, 0.0);
    QVERIFY(std::abs(inkShare(banded.mask.copy(band)) -
                     inkShare(MonoBits::fromGrey(grey.copy(band)))) < 0.005);
}

void tst_PageLayers::pencilGreyAndUnsuitablePages() {
    // Pencil notes on a printed page: a mask would break them into specks.
    QImage page = inked(PageFixtures::textPage(pageSize, dpi, 11, false).image, paper, ink);
    drawPencil(page, QRect(100, 1300, 900, 300), 6);
    QCOMPARE(PageLayers::split(withNoise(page, 3, 6)).outcome, PageLayers::Outcome::softInk);

    const QImage grey = withNoise(PageFixtures::textPage(pageSize, dpi, 11, false).image, 3, 7);
    const PageLayers layers = PageLayers::split(grey);
    QCOMPARE(layers.outcome, PageLayers::Outcome::layered);
    QCOMPARE(layers.background.format(), QImage::Format_Grayscale8);
    QCOMPARE(layers.foreground.format(), QImage::Format_Grayscale8);
    QVERIFY(std::abs(inkShare(layers.mask) - inkShare(MonoBits::fromGrey(grey.convertToFormat(
                                                 QImage::Format_Grayscale8)))) < 0.01);

    QCOMPARE(PageLayers::split(monoImage(800, 800)).outcome, PageLayers::Outcome::unsuitable);
    QCOMPARE(PageLayers::split(colourImage(127, 800)).outcome, PageLayers::Outcome::unsuitable);
}

QTEST_MAIN(tst_PageLayers)
#include "tst_PageLayers.moc"
