// Text recognition in the model: pages recognised in the background as they
// arrive and after turns, and a PDF save that waits for them.

#include "../email/StandInPrograms.h"
#include "FakeDesktopServices.h"
#include "PageFixtures.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"
#include "model/TextRecognitionQueue.h"
#include "scanning/fake/FakeScannerBrowser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

// Generous: recognition runs at low priority on a machine that may be busy.
constexpr int recognitionTimeout = 180000;

QString pdfText(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {pdf, "-"});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}

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
    void pdfSaveWaitsForTextAndSaysWhatIsMissing();
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

void tst_TextRecognition::pdfSaveWaitsForTextAndSaysWhatIsMissing() {
    const TestHome home;
    auto desktop = std::make_shared<FakeDesktopServices>();
    ScannerViewModel model(desktop, std::make_unique<FakeScannerBrowser>());
    model.editSettings([&](AppSettings& s) {
        s.saveFolder = home.filePath("out");
        s.format = OutputFormat::pdf;
        s.openAfterSave = false;
        s.clearPagesAfterSave = false;
        s.ocrEnabled = true;
        s.ocrLanguage = "eng";
    });
    desktop->imageFilesAnswer = {writeTextPage(home.filePath("in/text.png"))};
    model.importFiles();
    QCOMPARE(model.pages().size(), 1);

    // The page is still being recognised: the save waits, busy, and the
    // window goes on.
    model.save();
    QVERIFY(model.busy());
    QCOMPARE(model.status(), QStringLiteral("Recognising text: page 1 of 1..."));
    QVERIFY(model.lastSavedFiles().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), recognitionTimeout);
    QCOMPARE(model.lastSavedFiles().size(), 1);
    QCOMPARE(model.status(), "Saved " + model.lastSavedFiles().front().fileName());
    QVERIFY(pdfText(model.lastSavedFiles().front().toLocalFile()).size() > 20);

    // Recognised already: saved at once.
    model.save();
    QVERIFY(!model.busy());
    QCOMPARE(model.lastSavedFiles().front().fileName(), model.fileName() + " (2).pdf");

    // JPEG output is not held up by text recognition.
    model.editSettings([](AppSettings& s) { s.format = OutputFormat::jpg; });
    model.save();
    QVERIFY(!model.busy());
    QVERIFY(model.lastSavedFiles().front().fileName().endsWith(".jpg"));

    // A missing language never stops a save: the page goes without text and
    // the status says so, once.
    model.editSettings([](AppSettings& s) {
        s.format = OutputFormat::pdf;
        s.ocrLanguage = "qqq";
    });
    model.save();
    QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), recognitionTimeout);
    QCOMPARE(model.status(),
             "Saved " + model.lastSavedFiles().front().fileName() +
                 ". 1 page(s) saved without text: The qqq language data for text recognition "
                 "is not installed.");
    QVERIFY(pdfText(model.lastSavedFiles().front().toLocalFile()).isEmpty());
    QVERIFY(!model.errorMessage());

    // Save & email waits for the text too before it saves and hands the PDF
    // to the mail client (a stand-in xdg-email that accepts it).
    QVERIFY(QDir(home.filePath("bin")).mkpath("."));
    QVERIFY(writeScript(home.filePath("bin/xdg-email"), "#!/bin/sh\nexit 0\n"));
    const PathFront path(home.filePath("bin"));
    model.editSettings([](AppSettings& s) { s.ocrLanguage = "eng"; });
    model.sendEmail("ann@example.org", "Text", "", EmailMethod::mailClient);
    QVERIFY(model.busy());
    QCOMPARE(model.status(), QStringLiteral("Recognising text: page 1 of 1..."));
    QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), recognitionTimeout);
    QCOMPARE(model.lastSavedFiles().size(), 1);
    QCOMPARE(model.lastSavedFiles().front().fileName(), model.fileName() + " (4).pdf");
    QVERIFY(pdfText(model.lastSavedFiles().front().toLocalFile()).size() > 20);
}

QTEST_MAIN(tst_TextRecognition)
#include "tst_TextRecognition.moc"
