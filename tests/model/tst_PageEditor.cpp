// Straighten, Turn upright and Crop as the user meets them: on imported
// pages, as steps of the history, in the session's manifest; and the
// processing of scanned pages on their way in.

#include "ModelFixture.h"
#include "PageFixtures.h"

#include "model/ScanProcessing.h"
#include "pages/ImageFile.h"
#include "pages/SessionManifest.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int dpi = 150;
const QSize a4(1240, 1754); // at 150 dpi

QImage textPage() {
    return PageFixtures::textPage(a4, dpi, 11, false).image;
}

// Written as a PNG that states its resolution.
QUrl writePage(const TestHome& home, const QString& name, QImage image) {
    image.setDotsPerMeterX(int(dpi / 0.0254 + 0.5));
    image.setDotsPerMeterY(int(dpi / 0.0254 + 0.5));
    const QString path = home.filePath("in/" + name);
    return image.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
}

QImage pixelsOf(const ScannedPage& page) {
    return page.loadFullImage().value().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class tst_PageEditor : public QObject, private ModelFixture {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(startCase()); }
    void cleanup() { endCase(); }
    void straightenUndoAndTheManifest();
    void turnUprightAndCrop();
    void scannedPagesOnTheirWayIn();
};

void tst_PageEditor::straightenUndoAndTheManifest() {
    const QUrl skewed = writePage(*home_, "skewed.png", PageFixtures::skewed(textPage(), 4));
    const QByteArray source = readFile(skewed.toLocalFile());
    QImage blank(a4, QImage::Format_Grayscale8);
    blank.fill(Qt::white);
    desktop_->imageFilesAnswer = {skewed, writePage(*home_, "blank.png", blank)};
    model_->importFiles();
    QTRY_VERIFY_WITH_TIMEOUT(!model_->importing(), 60000);
    QCOMPARE(model_->pages().size(), 2);
    const auto before = model_->pages();
    const QImage original = pixelsOf(*before[0]);

    model_->setSelectedPages({before[0]->id(), before[1]->id()}, before[0]->id());
    model_->straightenSelection();
    QVERIFY(model_->busy());
    QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), 60000);
    QCOMPARE(model_->status(),
             QStringLiteral("Straightened 1 page(s). 1 page(s) were already straight."));
    const auto straight = model_->pages()[0];
    QVERIFY(straight->id() != before[0]->id());
    QCOMPARE(model_->pages()[1], before[1]); // blank: left exactly as it was
    QCOMPARE(straight->pixelSize(), before[0]->pixelSize());
    QCOMPARE(straight->dpi(), double(dpi));
    QCOMPARE(model_->selectedPageID(), straight->id()); // the selection follows
    QVERIFY(pixelsOf(*straight) != original);
    QCOMPARE(readFile(skewed.toLocalFile()), source); // the imported file is untouched

    // The manifest records the straightened page: a crash now restores it.
    QVERIFY(model_->waitForSessionRecord());
    const auto manifest = SessionManifest::read(model_->sessionFolder().toLocalFile());
    QVERIFY(manifest);
    QCOMPARE(manifest->pages.size(), 2);
    QCOMPARE(manifest->pages[0].id, straight->id());
    QCOMPARE(QFileInfo(manifest->pages[0].file).fileName(),
             QFileInfo(straight->cacheURL().toLocalFile()).fileName());

    // Undo gives back the exact pixels; redo the straightened page.
    model_->undo();
    QCOMPARE(model_->pages(), before);
    QCOMPARE(pixelsOf(*model_->pages()[0]), original);
    model_->redo();
    QCOMPARE(model_->pages()[0], straight);

    // Straight already: nothing changes, no step is recorded.
    model_->setSelectedPageID(straight->id());
    model_->straightenSelection();
    QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), 60000);
    QCOMPARE(model_->status(), QStringLiteral("1 page(s) were already straight."));
    QCOMPARE(model_->pages()[0], straight);
}

void tst_PageEditor::turnUprightAndCrop() {
    const QImage text = textPage();
    desktop_->imageFilesAnswer = {
        writePage(*home_, "sideways.png", ImageFile::rotate(text, 1).value())};
    model_->importFiles();
    QTRY_VERIFY_WITH_TIMEOUT(!model_->importing(), 60000);
    const auto page = model_->pages().front();

    model_->turnSelectionUpright();
    QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), 120000);
    QCOMPARE(model_->status(), QStringLiteral("Turned 1 page(s) upright."));
    QCOMPARE(model_->pages().front(), page); // recorded as a turn
    QCOMPARE(page->quarterTurns(), 3);
    QCOMPARE(page->pixelSize(), QSizeF(a4));
    model_->undo();
    QCOMPARE(page->quarterTurns(), 0);
    model_->redo();

    // The crop frame starts at the print; the crop keeps the resolution.
    QSignalSpy found(model_.get(), &ScannerViewModel::cropFrameFound);
    model_->findCropFrame(page->id());
    QVERIFY(found.wait(60000));
    const QRect frame = found.front()[1].toRect();
    QVERIFY(QRect(QPoint(0, 0), a4).contains(frame));
    QVERIFY(frame.width() < a4.width() && frame.height() < a4.height());

    model_->cropPage(page->id(), QRect(100, 150, 600, 400));
    QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), 60000);
    QCOMPARE(model_->status(), QStringLiteral("Cropped page 1."));
    const auto cropped = model_->pages().front();
    QCOMPARE(cropped->pixelSize(), QSizeF(600, 400));
    QCOMPARE(cropped->dpi(), double(dpi));
    QCOMPARE(pixelsOf(*cropped), pixelsOf(*page).copy(100, 150, 600, 400));
    model_->undo();
    QCOMPARE(model_->pages().front(), page);
}

void tst_PageEditor::scannedPagesOnTheirWayIn() {
    // A scanned page (removed once cached), skewed and upside down.
    const QImage text = textPage();
    const QUrl cache = QUrl::fromLocalFile(home_->filePath("cache"));
    const auto scanned = [&] {
        const QUrl file = writePage(*home_, "scan.png",
                                    ImageFile::rotate(PageFixtures::skewed(text, -3), 2).value());
        return ScannedPage::make(file, cache, dpi, true).value();
    };
    const auto page = scanned();
    const QString first = page->cacheURL().toLocalFile();
    const auto processed = ScanProcessing{true, true}.apply(page);
    QVERIFY(processed != page);
    QVERIFY(!QFileInfo::exists(first)); // no leftover
    QCOMPARE(processed->quarterTurns(), 2);
    QCOMPARE(processed->pixelSize(), QSizeF(a4));

    // Settings off: the page stays as it came.
    const auto plain = scanned();
    QCOMPARE((ScanProcessing{false, false}.apply(plain)), plain);
    QCOMPARE(plain->quarterTurns(), 0);
}

QTEST_MAIN(tst_PageEditor)
#include "tst_PageEditor.moc"
