// The view model with a scripted desktop, real image files and real output in
// a fresh home folder per test (settings, cache and documents all land there).

#include "ModelFixture.h"
#include "PageIds.h"

#include "pages/DocumentSaver.h"

#include <QBuffer>
#include <QDate>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalSpy>
#include <QTest>

namespace {

// A small image stating its resolution.
QUrl writeImage(const QString& path, int width, int height, const char* format, int dpi) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image.save(path, format) ? QUrl::fromLocalFile(path) : QUrl();
}

// A JPEG whose JFIF header states only an aspect ratio, no resolution.
QUrl writeJpegWithoutResolution(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage image(50, 70, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(&buffer, "jpg") || bytes.mid(6, 5) != QByteArray("JFIF\0", 5)) {
        return {};
    }
    bytes.replace(13, 5, QByteArray::fromHex("0000010001")); // units 0, density 1:1
    return writeFile(path, bytes);
}

QList<QUrl> fileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

const QString thisYear = QString::number(QDate::currentDate().year());

} // namespace

class ScannerViewModelTest : public QObject, ModelFixture {
    Q_OBJECT

    QString inHome(const QString& name) const { return home_->filePath(name); }
    QString settingsPath() const { return AppSettings::settingsURL().toLocalFile(); }
    QJsonObject settingsOnDisk() const { return readJson(settingsPath()); }

    QList<QUuid> ids() const { return pageIds(*model_); }

    QStringList cacheFiles() const {
        QStringList files;
        for (const auto& page : model_->pages()) {
            files << page->cacheURL().toLocalFile();
        }
        return files;
    }

    // Saves into ~/out with the given format and after-save settings.
    void configureSaving(OutputFormat format, bool openAfterSave, bool clearAfterSave) {
        model_->editSettings([&](AppSettings& s) {
            s.saveFolder = inHome(QStringLiteral("out"));
            s.format = format;
            s.openAfterSave = openAfterSave;
            s.clearPagesAfterSave = clearAfterSave;
            s.fileNamePattern = QStringLiteral("Pattern_{yyyy}");
        });
    }
    QString out(const QString& name) const { return inHome(QStringLiteral("out/") + name); }

private Q_SLOTS:
    void init() { QVERIFY(startCase()); }
    void cleanup() { endCase(); }

    void startUp() {
        AppSettings stored = AppSettings::defaults();
        stored.lastDeviceId = QStringLiteral("test:0");
        stored.fileNamePattern = QStringLiteral("Doc {yyyy}");
        stored.save();
        const QByteArray file = readFile(settingsPath());

        const auto model = makeModel();
        QCOMPARE(model->settings(), stored);
        QCOMPARE(model->selectedDeviceID(), QStringLiteral("test:0"));
        QCOMPARE(model->fileName(), QStringLiteral("Doc ") + thisYear);
        QVERIFY(!model->canSave() && !model->canEmail());

        // A session folder of its own in ~/.cache/Paperlark, one per run.
        const QFileInfo session(model->sessionFolder().toLocalFile());
        QCOMPARE(session.absolutePath(), inHome(QStringLiteral(".cache/Paperlark")));
        QVERIFY(session.isDir());
        QVERIFY(model->sessionFolder() != model_->sessionFolder());
        // Starting never writes the settings file.
        QCOMPARE(readFile(settingsPath()), file);

        // A cache folder that cannot be made is not fatal; importing reports it.
        QVERIFY(QDir(inHome(QStringLiteral(".cache"))).removeRecursively());
        QVERIFY(!writeFile(inHome(QStringLiteral(".cache")), "file").isEmpty());
        model_ = makeModel();
        QVERIFY(!importImages(1));
        QVERIFY(model_->errorMessage().has_value());
        QCOMPARE(model_->status(), QStringLiteral("0 page(s) ready."));
    }

    void importSkipsBadFilesAndCountsTheWholeList() {
        model_->editSettings([](AppSettings& s) { s.dpi = 200; });
        const QUrl first = writeJpegWithoutResolution(inHome("in/first.jpg"));
        const QUrl broken = writeFile(inHome("in/broken.png"), "not an image");
        const QUrl third = writeImage(inHome("in/third.tif"), 30, 20, "tif", 300);
        desktop_->imageFilesAnswer = {first, broken, third};
        model_->importFiles();
        QCOMPARE(model_->pages().size(), 2);
        QCOMPARE(model_->selectedPage(), model_->pages().last());
        QCOMPARE(model_->errorMessage(), QStringLiteral("Could not read the image at broken.png."));
        QCOMPARE(model_->status(), QStringLiteral("2 page(s) ready."));
        QVERIFY(model_->canSave() && model_->canEmail());
        // A file stating no resolution gets the dpi setting; the others keep theirs.
        QCOMPARE(model_->pages()[0]->dpi(), 200.0);
        QCOMPARE(model_->pages()[1]->dpi(), 300.0);
        for (const QString& cache : cacheFiles()) {
            QCOMPARE(QFileInfo(cache).absolutePath(), model_->sessionFolder().toLocalFile());
        }
        QVERIFY(QFile::exists(first.toLocalFile()) && QFile::exists(third.toLocalFile()));

        // Only bad files into an empty list: nothing added, nothing selected.
        model_ = makeModel();
        desktop_->imageFilesAnswer = {writeFile(inHome("in/empty.jpg"), {}),
                                      QUrl::fromLocalFile(inHome("in"))};
        model_->importFiles();
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->selectedPageID(), std::nullopt);
        QCOMPARE(model_->errorMessage(), QStringLiteral("Could not read the image at in."));
        QCOMPARE(model_->status(), QStringLiteral("0 page(s) ready."));

        // Cancelling the chooser changes nothing at all.
        QSignalSpy changed(model_.get(), &ScannerViewModel::changed);
        desktop_->imageFilesAnswer.clear();
        model_->importFiles();
        QCOMPARE(desktop_->imageChooserCalls, 3);
        QCOMPARE(changed.count(), 0);
        QVERIFY(!QFile::exists(settingsPath()));
    }

    // Files named on the command line or by another instance: the same
    // import and the same failure texts, without asking the chooser.
    void importGivenFiles() {
        const QUrl png = writeImage(inHome("in/Größe 1.png"), 20, 10, "png", 150);
        model_->importFiles({png, QUrl::fromLocalFile(inHome("in/missing file.jpg"))});
        QCOMPARE(model_->pages().size(), 1);
        QCOMPARE(model_->selectedPageID(), model_->pages().last()->id());
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("Could not read the image at missing file.jpg."));
        QCOMPARE(model_->status(), QStringLiteral("1 page(s) ready."));
        QCOMPARE(desktop_->imageChooserCalls, 0);
        QVERIFY(QFile::exists(png.toLocalFile()));

        QSignalSpy changed(model_.get(), &ScannerViewModel::changed);
        model_->importFiles(QList<QUrl>{});
        QCOMPARE(changed.count(), 0);
    }

    void moveAndDelete() {
        QVERIFY(importImages(4));
        const QList<QUuid> p = ids();
        const QStringList files = cacheFiles();
        model_->setStatus(QStringLiteral("marker"));

        // Beyond either end, or with no or a stale selection: nothing happens.
        QSignalSpy pagesChanged(model_.get(), &ScannerViewModel::pagesChanged);
        model_->setSelectedPageID(p[0]);
        model_->moveSelection(-1);
        model_->setSelectedPageID(p[3]);
        model_->moveSelection(1);
        model_->setSelectedPageID(QUuid::createUuid());
        model_->moveSelection(-1);
        model_->deleteSelection();
        model_->setSelectedPageID(std::nullopt);
        model_->moveSelection(1);
        model_->deleteSelection();
        QCOMPARE(pagesChanged.count(), 0);
        QCOMPARE(ids(), p);
        QCOMPARE(model_->status(), QStringLiteral("marker"));

        // The moved page stays selected; status is left alone.
        model_->setSelectedPageID(p[3]);
        model_->moveSelection(-1);
        QCOMPARE(ids(), (QList<QUuid>{p[0], p[1], p[3], p[2]}));
        model_->moveSelection(-1);
        QCOMPARE(ids(), (QList<QUuid>{p[0], p[3], p[1], p[2]}));
        QCOMPARE(model_->selectedPageID(), p[3]);
        QCOMPARE(model_->status(), QStringLiteral("marker"));

        // Delete the last page: the one before it is selected; its file stays
        // as long as undo can bring it back.
        model_->setSelectedPageID(p[2]);
        model_->deleteSelection();
        QCOMPARE(ids(), (QList<QUuid>{p[0], p[3], p[1]}));
        QCOMPARE(model_->selectedPageID(), p[1]);
        QCOMPARE(model_->status(), QStringLiteral("3 page(s) ready."));
        QVERIFY(QFile::exists(files[2]) && QFile::exists(files[1]));
        // A middle page: the one that followed it. The first: the new first.
        model_->setSelectedPageID(p[3]);
        model_->deleteSelection();
        QCOMPARE(model_->selectedPageID(), p[1]);
        model_->setSelectedPageID(p[0]);
        model_->deleteSelection();
        QCOMPARE(ids(), QList<QUuid>{p[1]});
        QCOMPARE(model_->selectedPageID(), p[1]);
        // The only page: nothing is left selected.
        model_->deleteSelection();
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->selectedPageID(), std::nullopt);
        QCOMPARE(model_->status(), QStringLiteral("0 page(s) ready."));
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void clearPages() {
        model_->clearPages(true); // empty: no question, no status
        QCOMPARE(desktop_->discardQuestions, 0);
        QCOMPARE(model_->status(), QStringLiteral("Ready."));

        QVERIFY(importImages(2));
        const QList<QUuid> before = ids();
        const QStringList files = cacheFiles();
        desktop_->discardAnswer = false;
        model_->clearPages(true);
        QCOMPARE(desktop_->discardQuestions, 1);
        QCOMPARE(ids(), before);
        QCOMPARE(model_->selectedPageID(), before[1]);
        QCOMPARE(model_->status(), QStringLiteral("2 page(s) ready."));
        QVERIFY(QFile::exists(files[0]) && QFile::exists(files[1]));

        desktop_->discardAnswer = true;
        model_->clearPages(true);
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->selectedPageID(), std::nullopt);
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(QFile::exists(files[0]) && QFile::exists(files[1])); // for undo

        QVERIFY(importImages(1));
        model_->clearPages(false);
        QCOMPARE(desktop_->discardQuestions, 2);
        QVERIFY(model_->pages().isEmpty());
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void cleanUp() {
        QVERIFY(importImages(3));
        const QStringList files = cacheFiles();
        const QString session = model_->sessionFolder().toLocalFile();
        model_->setSelectedDeviceID(QStringLiteral("test:1"));

        model_->cleanUp();
        for (const QString& file : files) {
            QVERIFY(!QFile::exists(file));
        }
        QVERIFY(!QFileInfo::exists(session));
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:1"));
        QCOMPARE(model_->pages().size(), 3); // the list itself is kept

        // A later import makes the folder again; clean-up may run twice.
        QVERIFY(importImages(1));
        QVERIFY(QFileInfo(session).isDir());
        model_->cleanUp();
        model_->cleanUp();
        QVERIFY(!QFileInfo::exists(session));
    }

    void saveNamesNeverOverwrite() {
        QCOMPARE(model_->saveCurrentPages(), std::nullopt); // nothing to save
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("There is nothing to save yet. Scan a page first."));
        QVERIFY(!QFile::exists(settingsPath()));

        configureSaving(OutputFormat::png, false, false);
        QVERIFY(importImages(1));
        model_->setSelectedDeviceID(QStringLiteral("test:0"));
        // Only blanks: the pattern's name; the field keeps its blanks.
        model_->setFileName(QStringLiteral(" \t\u00A0"));
        model_->save();
        QCOMPARE(model_->lastSavedFiles(), fileUrls({out("Pattern_" + thisYear + ".png")}));
        QCOMPARE(model_->status(), "Saved Pattern_" + thisYear + ".png");
        QCOMPARE(model_->fileName(), QStringLiteral(" \t\u00A0"));
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:0"));

        // A leading blank reaches the saver, which trims it; a clash with the
        // user's file takes the next free number.
        QVERIFY(!writeFile(out("report.png"), "mine").isEmpty());
        model_->setFileName(QStringLiteral(" report"));
        model_->save();
        QCOMPARE(model_->status(), QStringLiteral("Saved report (2).png"));
        QCOMPARE(readFile(out("report.png")), QByteArray("mine"));
        QCOMPARE(QImageReader(out("report (2).png")).format(), QByteArray("png"));
        QCOMPARE(model_->pages().size(), 1);
        QCOMPARE(model_->fileName(), QStringLiteral(" report"));
        QVERIFY(desktop_->openedUrls.isEmpty());
    }

    void saveOpensFirstFileAndClearsWhenAsked() {
        configureSaving(OutputFormat::jpg, true, false);
        QVERIFY(importImages(3));
        const QList<QUuid> pages = ids();
        model_->setFileName(QStringLiteral("a"));
        model_->save();
        const QStringList written{out("a_01.jpg"), out("a_02.jpg"), out("a_03.jpg")};
        QCOMPARE(model_->status(), QStringLiteral("Saved a_01.jpg, a_02.jpg, a_03.jpg"));
        QCOMPARE(model_->lastSavedFiles(), fileUrls(written));
        QCOMPARE(QImageReader(written[2]).format(), QByteArray("jpeg"));
        QCOMPARE(desktop_->openedUrls, fileUrls({written[0]}));
        QCOMPARE(ids(), pages);
        QCOMPARE(model_->fileName(), QStringLiteral("a"));

        // Clearing after the save: one PDF, pages gone, a fresh name from the
        // pattern as it is now, and the document still there to e-mail.
        const QStringList files = cacheFiles();
        model_->editSettings([](AppSettings& s) {
            s.format = OutputFormat::pdf;
            s.openAfterSave = false;
            s.clearPagesAfterSave = true;
            s.fileNamePattern = QStringLiteral("Next {yyyy}");
        });
        model_->save();
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->selectedPageID(), std::nullopt);
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QCOMPARE(model_->fileName(), QStringLiteral("Next ") + thisYear);
        QCOMPARE(desktop_->discardQuestions, 0);
        QCOMPARE(desktop_->openedUrls.size(), 1);
        QVERIFY(QFile::exists(files[0])); // undo can bring the pages back
        QCOMPARE(model_->lastSavedFiles(), fileUrls({out("a.pdf")}));
        QVERIFY(readFile(out("a.pdf")).startsWith("%PDF"));
        QVERIFY(!model_->canSave() && model_->canEmail());
    }

    void failedSaveKeepsEverything() {
        configureSaving(OutputFormat::png, false, false);
        QVERIFY(importImages(2));
        model_->setFileName(QStringLiteral("good"));
        model_->save();
        const QList<QUrl> earlier = model_->lastSavedFiles();
        const QString savedStatus = model_->status();
        QCOMPARE(earlier.size(), 2);

        // A file stands where the save folder should be created.
        QVERIFY(!writeFile(inHome(QStringLiteral("blocker")), "file").isEmpty());
        const QString badFolder = inHome(QStringLiteral("blocker/scans"));
        model_->editSettings([&](AppSettings& s) { s.saveFolder = badFolder; });
        model_->setSelectedDeviceID(QStringLiteral("test:2"));
        model_->setFileName(QStringLiteral("second"));
        const QList<QUuid> pages = ids();
        model_->save();

        const auto expected = DocumentSaver::save(model_->pages(), QUrl::fromLocalFile(badFolder),
                                                  QStringLiteral("second"), OutputFormat::png, 85);
        QVERIFY(!expected.ok());
        QCOMPARE(model_->errorMessage(), expected.failure().description());
        QCOMPARE(model_->status(), savedStatus);
        QCOMPARE(ids(), pages);
        QCOMPARE(model_->fileName(), QStringLiteral("second"));
        QCOMPARE(model_->lastSavedFiles(), earlier);
        QVERIFY(QFile::exists(earlier[0].toLocalFile()));
        // The settings were written before the documents, so they stand.
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:2"));
    }

    void chooseAndOpenFolder() {
        const QUrl start = model_->settings().saveFolderURL();
        model_->chooseFolder(); // cancelled: nothing changes, nothing is written
        QCOMPARE(desktop_->folderChooserStarts, QList<QUrl>{start});
        QCOMPARE(model_->settings().saveFolderURL(), start);
        QVERIFY(!QFile::exists(settingsPath()));

        const QString chosen = inHome(QStringLiteral("elsewhere/deeper"));
        desktop_->folderAnswer = QUrl::fromLocalFile(chosen);
        model_->chooseFolder();
        QCOMPARE(model_->settings().saveFolder, chosen);
        QCOMPARE(settingsOnDisk().value("saveFolder").toString(), chosen);
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
        QVERIFY(!QFileInfo::exists(chosen));

        // Opening creates the folder first; one that cannot be made is still
        // handed over and nothing is reported.
        model_->openSaveFolder();
        QVERIFY(QFileInfo(chosen).isDir());
        QCOMPARE(desktop_->openedUrls, QList<QUrl>{QUrl::fromLocalFile(chosen)});
        QVERIFY(!writeFile(inHome(QStringLiteral("plain")), "x").isEmpty());
        model_->editSettings([&](AppSettings& s) { s.saveFolder = inHome("plain/sub"); });
        model_->openSaveFolder();
        QCOMPARE(desktop_->openedUrls.last(), QUrl::fromLocalFile(inHome("plain/sub")));
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
    }
};

QTEST_GUILESS_MAIN(ScannerViewModelTest)
#include "tst_ScannerViewModel.moc"
