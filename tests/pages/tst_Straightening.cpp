#include "PageFixtures.h"

#include "pages/CropDetector.h"
#include "pages/ImageFile.h"
#include "pages/SkewDetector.h"
#include "pages/Straightener.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace PageFixtures;

namespace {

constexpr int dpi = 150;
const QSize a4(1240, 1754); // at 150 dpi
const QColor paper(247, 245, 238);

enum class Depth { colour, grey, mono };

// A page of printed text in the given depth, colour pages on off-white
// paper; drawn once.
QImage textPage(Depth depth) {
    static QImage pages[3];
    QImage& page = pages[int(depth)];
    if (page.isNull()) {
        page = PageFixtures::textPage(a4, dpi, 11, depth == Depth::mono).image;
        if (depth == Depth::colour) {
            page = inked(page, paper, Qt::black);
        }
    }
    return page;
}

QColor paperOf(Depth depth) {
    return depth == Depth::colour ? paper : QColor(Qt::white);
}

// Scanner noise of 2.6 levels, as colour.
QImage noisy(const QImage& image, unsigned seed) {
    return withNoise(image.convertToFormat(QImage::Format_RGB32), 2.6, seed);
}

// A sheet of paper turned by `degrees` on the dark background of a scanner
// with its lid open; `text` puts print on it.
QImage sheetOnDarkBackground(double degrees, bool text) {
    QImage scan(a4 + QSize(120, 120), QImage::Format_RGB32);
    scan.fill(QColor(35, 35, 40));
    QPainter painter(&scan);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(scan.width() / 2.0, scan.height() / 2.0);
    painter.rotate(degrees);
    const QRectF sheet(-a4.width() / 2.0 + 40, -a4.height() / 2.0 + 40, a4.width() - 80,
                       a4.height() - 80);
    painter.fillRect(sheet, paper);
    if (text) {
        painter.drawImage(sheet.topLeft(), textPage(Depth::grey).copy(0, 0, 900, 700));
    }
    painter.end();
    return noisy(scan, 5);
}

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Whether each edge of `frame` lies within `slack` pixels of `expected`'s.
bool closeTo(const QRect& frame, const QRectF& expected, double slack) {
    const QRectF found(frame);
    const bool close = std::abs(found.left() - expected.left()) <= slack &&
                       std::abs(found.top() - expected.top()) <= slack &&
                       std::abs(found.right() - expected.right()) <= slack &&
                       std::abs(found.bottom() - expected.bottom()) <= slack;
    if (!close) {
        qWarning("frame %d,%d %dx%d", frame.x(), frame.y(), frame.width(), frame.height());
    }
    return close;
}

// The centre of the dark pixels of an image.
QPointF darkCentre(const QImage& image) {
    double x = 0, y = 0, count = 0;
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            if (qGray(image.pixel(column, row)) < 128) {
                x += column + 0.5;
                y += row + 0.5;
                ++count;
            }
        }
    }
    return count > 0 ? QPointF(x / count, y / count) : QPointF(-1, -1);
}

} // namespace

class tst_Straightening : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void skewOfTextIsMeasured_data();
    void skewOfTextIsMeasured();
    void straightenedPageIsStraightWithItsSizeAndCornersFilled_data();
    void straightenedPageIsStraightWithItsSizeAndCornersFilled();
    void rotationTurnsClockwiseAboutTheCentre();
    void pagesWithoutMeasurableSkewAreLeftAlone();
    void paperEdgeIsMeasuredWithoutText();
    void cropFrameFindsPaperOrContent();
};

void tst_Straightening::skewOfTextIsMeasured_data() {
    QTest::addColumn<Depth>("depth");
    QTest::addColumn<int>("quarterTurns");
    QTest::addColumn<double>("degrees");
    QTest::newRow("colour -8") << Depth::colour << 0 << -8.0;
    QTest::newRow("colour 0.4") << Depth::colour << 0 << 0.4;
    QTest::newRow("grey -2.6") << Depth::grey << 0 << -2.6;
    QTest::newRow("grey 9.5") << Depth::grey << 0 << 9.5;
    QTest::newRow("1-bit 5.3") << Depth::mono << 0 << 5.3;
    // Lines running down the page: it was fed in sideways.
    QTest::newRow("sideways 3.2") << Depth::grey << 1 << 3.2;
    QTest::newRow("sideways -6.1") << Depth::colour << 3 << -6.1;
}

void tst_Straightening::skewOfTextIsMeasured() {
    QFETCH(Depth, depth);
    QFETCH(int, quarterTurns);
    QFETCH(double, degrees);
    const QImage page = ImageFile::rotate(textPage(depth), quarterTurns).value();
    const QImage skewedPage = skewed(page, degrees, paperOf(depth));
    const std::optional<double> measured = SkewDetector::skew(skewedPage, dpi);
    QVERIFY(measured);
    QVERIFY2(std::abs(*measured - degrees) <= 0.15, qPrintable(QString::number(*measured)));
    const auto lines = SkewDetector::lines(skewedPage, dpi);
    QVERIFY(lines && lines->text);
    QCOMPARE(lines->runDown, quarterTurns % 2 == 1);

    // Beyond the range measured, nothing is claimed.
    const double far = degrees < 0 ? -13 : 13;
    QCOMPARE(SkewDetector::skew(skewed(page, far, paperOf(depth)), dpi), std::nullopt);
}

void tst_Straightening::straightenedPageIsStraightWithItsSizeAndCornersFilled_data() {
    QTest::addColumn<Depth>("depth");
    QTest::addColumn<double>("degrees");
    QTest::newRow("colour 4") << Depth::colour << 4.0;
    QTest::newRow("grey -7") << Depth::grey << -7.0;
    QTest::newRow("1-bit 2") << Depth::mono << 2.0;
}

void tst_Straightening::straightenedPageIsStraightWithItsSizeAndCornersFilled() {
    QFETCH(Depth, depth);
    QFETCH(double, degrees);
    QImage page = skewed(textPage(depth), degrees, paperOf(depth));
    page.setDotsPerMeterX(5906); // 150 dpi
    page.setDotsPerMeterY(5906);
    const auto straight = Straightener::straightened(page, dpi);
    QVERIFY(straight);
    QVERIFY(std::abs(straight->degrees - degrees) <= 0.15);
    const QImage& image = straight->image;
    QCOMPARE(image.size(), page.size());
    QCOMPARE(image.format(), page.format());
    QCOMPARE(image.dotsPerMeterX(), 5906);

    const auto remaining = SkewDetector::skew(image, dpi);
    QVERIFY(remaining);
    QVERIFY2(std::abs(*remaining) <= 0.15, qPrintable(QString::number(*remaining)));
    // The corners turned in from outside the page take the paper's colour.
    for (const QPoint corner :
         {QPoint(1, 1), QPoint(image.width() - 2, 1), QPoint(1, image.height() - 2),
          QPoint(image.width() - 2, image.height() - 2)}) {
        QVERIFY2(channelDistance(image.pixel(corner), paperOf(depth).rgb()) <= 2,
                 qPrintable(QString::number(image.pixel(corner), 16)));
    }
}

void tst_Straightening::rotationTurnsClockwiseAboutTheCentre() {
    // A dot right of the centre goes down when turned clockwise.
    QImage image(401, 301, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(QRectF(290, 140, 20, 20), Qt::black); // centre (300, 150)
    const QPointF centre(200.5, 150.5);
    for (const double degrees : {30.0, -90.0}) {
        const QImage turned = Straightener::rotated(image, degrees, qRgb(255, 255, 255));
        const double radians = degrees * std::numbers::pi / 180;
        const QPointF from = QPointF(300, 150) - centre;
        const QPointF expected =
            centre + QPointF(from.x() * std::cos(radians) - from.y() * std::sin(radians),
                             from.x() * std::sin(radians) + from.y() * std::cos(radians));
        const QPointF found = darkCentre(turned);
        QVERIFY2(QLineF(found, expected).length() < 1.0,
                 qPrintable(QString("%1,%2").arg(found.x()).arg(found.y())));
    }
    // What lies outside the image comes in as the fill colour.
    const QImage filled = Straightener::rotated(image, 45, qRgb(10, 200, 30));
    QCOMPARE(filled.pixel(0, 0), qRgb(10, 200, 30));
    QCOMPARE(filled.pixel(200, 150), qRgb(255, 255, 255));
}

void tst_Straightening::pagesWithoutMeasurableSkewAreLeftAlone() {
    QImage blank(a4, QImage::Format_RGB32);
    blank.fill(paper);
    const QImage text = textPage(Depth::grey);
    const struct {
        const char* name;
        QImage image;
    } pages[] = {
        {"blank", noisy(blank, 1)},
        {"photo", photoPage(a4, 3)},
        {"another photo", noisy(photoPage(a4, 8), 2)},
        {"straight", text},
        {"skewed by less than a tenth", skewed(text, 0.05)},
    };
    for (const auto& page : pages) {
        QVERIFY2(!Straightener::straightened(page.image, dpi), page.name);
    }
    QCOMPARE(SkewDetector::skew(pages[0].image, dpi), std::nullopt);
    QCOMPARE(SkewDetector::skew(pages[1].image, dpi), std::nullopt);
}

void tst_Straightening::paperEdgeIsMeasuredWithoutText() {
    for (const double degrees : {2.5, -4.0}) {
        const auto lines = SkewDetector::lines(sheetOnDarkBackground(degrees, false), dpi);
        QVERIFY(lines);
        QVERIFY(!lines->text);
        QVERIFY2(std::abs(lines->degrees - degrees) <= 0.15,
                 qPrintable(QString::number(lines->degrees)));
    }
    // Text on the sheet is measured as text, at the same angle.
    const auto lines = SkewDetector::lines(sheetOnDarkBackground(-3, true), dpi);
    QVERIFY(lines && lines->text);
    QVERIFY(std::abs(lines->degrees + 3) <= 0.15);
}

void tst_Straightening::cropFrameFindsPaperOrContent() {
    // A receipt on the white lid: the frame is its print, with a margin.
    const auto receipt = PageFixtures::textPage(QSize(500, 900), dpi, 9, false);
    QImage lid(a4, QImage::Format_RGB32);
    lid.fill(QColor(250, 250, 250));
    QPainter(&lid).drawImage(300, 200, receipt.image);
    QRectF print;
    for (const QRectF& box : receipt.wordBoxes) {
        print |= box.translated(300, 200);
    }
    const double margin = CropDetector::contentMarginMillimetres / 25.4 * dpi;
    QVERIFY(closeTo(CropDetector::frame(noisy(lid, 3), dpi),
                    print.adjusted(-margin, -margin, margin, margin), 6));

    // A sheet on the dark background: the frame is the sheet.
    QImage dark(a4, QImage::Format_RGB32);
    dark.fill(QColor(35, 35, 40));
    QPainter(&dark).fillRect(QRect(200, 300, 600, 900), paper);
    QVERIFY(closeTo(CropDetector::frame(noisy(dark, 4), dpi), QRectF(200, 300, 600, 900), 2));

    // Nothing stands out: the whole page.
    QImage blank(a4, QImage::Format_RGB32);
    blank.fill(paper);
    QCOMPARE(CropDetector::frame(noisy(blank, 6), dpi), QRect(QPoint(0, 0), a4));
}

QTEST_MAIN(tst_Straightening) // fonts, for the pages of text
#include "tst_Straightening.moc"
