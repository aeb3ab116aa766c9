#include "PageFixtures.h"

#include "ocr/OrientationDetector.h"
#include "pages/ImageFile.h"
#include "pages/MonoBits.h"

#include <QPainter>
#include <QTest>

#include <random>
#include <thread>

using namespace PageFixtures;

namespace {

constexpr int dpi = 150;
const QSize a4(1240, 1754); // at 150 dpi

} // namespace

class tst_OrientationDetector : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void textIsTurnedUpright();
    void noAnswerWithoutText();
};

void tst_OrientationDetector::initTestCase() {
    QVERIFY2(OrientationDetector::isAvailable(), "tesseract-ocr-osd is not installed");
}

void tst_OrientationDetector::textIsTurnedUpright() {
    const QImage page = PageFixtures::textPage(a4, dpi, 11, false).image;
    // A few lines at the top of a sheet, slightly skewed, in black and white.
    QImage note(a4, QImage::Format_Grayscale8);
    note.fill(255);
    QPainter(&note).drawImage(0, 0,
                              PageFixtures::textPage(QSize(a4.width(), 420), dpi, 11, false).image);
    const QImage skewedNote = MonoBits::fromGrey(skewed(note, 2.5));
    for (int turned = 0; turned < 4; ++turned) {
        const int upright = (4 - turned) % 4;
        QCOMPARE(OrientationDetector::uprightTurns(ImageFile::rotate(page, turned).value(), dpi),
                 upright);
        QCOMPARE(
            OrientationDetector::uprightTurns(ImageFile::rotate(skewedNote, turned).value(), dpi),
            upright);
    }
    // Pages looked at side by side, each thread with its own engine.
    std::optional<int> first, second;
    std::thread one([&] {
        first = OrientationDetector::uprightTurns(ImageFile::rotate(page, 1).value(), dpi);
    });
    std::thread two([&] {
        second = OrientationDetector::uprightTurns(ImageFile::rotate(page, 2).value(), dpi);
    });
    one.join();
    two.join();
    QCOMPARE(first, 3);
    QCOMPARE(second, 2);
}

void tst_OrientationDetector::noAnswerWithoutText() {
    QImage blank(a4, QImage::Format_Grayscale8);
    std::mt19937 random(4);
    std::normal_distribution<double> noise(245, 3);
    for (int y = 0; y < blank.height(); ++y) {
        for (int x = 0; x < blank.width(); ++x) {
            blank.scanLine(y)[x] = uchar(std::clamp(int(noise(random)), 0, 255));
        }
    }
    QCOMPARE(OrientationDetector::uprightTurns(blank, dpi), std::nullopt);
    for (const unsigned seed : {1u, 2u, 3u}) {
        for (int turned = 0; turned < 2; ++turned) {
            QCOMPARE(OrientationDetector::uprightTurns(
                         ImageFile::rotate(photoPage(a4, seed), turned).value(), dpi),
                     std::nullopt);
        }
    }
}

QTEST_MAIN(tst_OrientationDetector) // fonts, for the pages of text
#include "tst_OrientationDetector.moc"
