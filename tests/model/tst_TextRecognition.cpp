// Text recognition in the background: pages recognised as they arrive and
// after turns. (A PDF save that waits for them is the SaveController's.)

#include "PageFixtures.h"
#include "TestHome.h"

#include "model/TextRecognitionQueue.h"

#include <QTest>

namespace {

// Generous: recognition runs at low priority on a machine that may be busy.
constexpr int recognitionTimeout = 180000;

// A short page of text at 300 dpi, as a PNG file.
QUrl writeTextPage(const QString& path) {
    QImage image = PageFixtures::textPage(QSize(1400, 700), 300, 12, false).image;
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(11811);
    return image.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
}

} // namespace

class tst_TextRecognition : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesAreRecognisedAsTheyArriveAndAfterTurns();
};

void tst_TextRecognition::pagesAreRecognisedAsTheyArriveAndAfterTurns() {
    const TestHome home;
    PageList list;
    TextRecognitionQueue queue(list);
    const QUrl source = writeTextPage(home.filePath("in/text.png"));
    const auto page =
        ScannedPage::make(source, QUrl::fromLocalFile(home.filePath("cache")), 300, false).value();

    // Off: nothing is recognised, nothing is waited for.
    list.append({page});
    QCOMPARE(queue.pendingCount(list.pages()), 0);
    QVERIFY(!queue.textLayers(list.pages()).front().has_value());

    queue.configure(true, "eng");
    QCOMPARE(queue.pendingCount(list.pages()), 1);
    QTRY_COMPARE_WITH_TIMEOUT(queue.pendingCount(list.pages()), 0, recognitionTimeout);
    QVERIFY(queue.textLayers(list.pages()).front().has_value());
    QCOMPARE(queue.failedCount(list.pages()), 0);

    // A turned page is recognised again; its old text no longer counts.
    QVERIFY(page->rotate(1));
    queue.refresh();
    QCOMPARE(queue.pendingCount(list.pages()), 1);
    QVERIFY(!queue.textLayers(list.pages()).front().has_value());
    QTRY_COMPARE_WITH_TIMEOUT(queue.pendingCount(list.pages()), 0, recognitionTimeout);
    QVERIFY(queue.textLayers(list.pages()).front().has_value());

    // A language without data: the page is done, without text.
    queue.configure(true, "qqq");
    QTRY_COMPARE_WITH_TIMEOUT(queue.pendingCount(list.pages()), 0, recognitionTimeout);
    QCOMPARE(queue.failedCount(list.pages()), 1);
    QCOMPARE(queue.firstFailure(list.pages()),
             QStringLiteral("The qqq language data for text recognition is not installed."));
    QVERIFY(!queue.textLayers(list.pages()).front().has_value());

    // A page that leaves the list loses its result.
    const PageList::Pages removed = list.clear();
    QCOMPARE(queue.failedCount(removed), 0);
    queue.configure(false, "eng");
    QCOMPARE(queue.pendingCount(removed), 0);
}

QTEST_MAIN(tst_TextRecognition)
#include "tst_TextRecognition.moc"
