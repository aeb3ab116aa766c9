// The facade's wiring: start-up, every part's changes published as fields
// (each followed by changed()), reports reaching status and errorMessage,
// busy derived from the parts, and the operations that span parts ("Add
// image file...", "Clear all", the clean-up). What each part does is tested
// with the part; the settings window's calls, with the window.

#include "ModelFixture.h"

#include "scanning/fake/FakeScannerDevice.h"

#include <QBuffer>
#include <QDate>
#include <QFileInfo>
#include <QSignalSpy>

class ScannerViewModelTest : public QObject, ModelFixture {
    Q_OBJECT

    QString inHome(const QString& name) const { return home_->filePath(name); }
    QString settingsPath() const { return AppSettings::settingsURL().toLocalFile(); }

    // Every published signal, in the order emitted, by name.
    QStringList signals_;
    void record(ScannerViewModel& model) {
        signals_.clear();
        const QList<std::pair<void (ScannerViewModel::*)(), QString>> named{
            {&ScannerViewModel::settingsChanged, "settings"},
            {&ScannerViewModel::pagesChanged, "pages"},
            {&ScannerViewModel::selectedPageIDChanged, "selectedPageID"},
            {&ScannerViewModel::statusChanged, "status"},
            {&ScannerViewModel::busyChanged, "busy"},
            {&ScannerViewModel::devicesChanged, "devices"},
            {&ScannerViewModel::selectedDeviceIDChanged, "selectedDeviceID"},
            {&ScannerViewModel::fileNameChanged, "fileName"},
            {&ScannerViewModel::emailSheetVisibleChanged, "emailSheetVisible"},
            {&ScannerViewModel::errorMessageChanged, "errorMessage"},
            {&ScannerViewModel::historyChanged, "history"},
            {&ScannerViewModel::scanningChanged, "scanning"},
            {&ScannerViewModel::addingFilesChanged, "addingFiles"},
            {&ScannerViewModel::changed, "+"}};
        for (const auto& [signal, name] : named) {
            connect(&model, signal, this, [this, name = name] { signals_ << name; });
        }
    }

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
        QCOMPARE(model->fileName(), "Doc " + QString::number(QDate::currentDate().year()));
        QCOMPARE(model->status(), QStringLiteral("Ready."));
        QVERIFY(!model->busy() && !model->canSave() && !model->canEmail());

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
        QVERIFY(model_->errorMessage()->startsWith("Could not create the folder"));
        QCOMPARE(model_->status(), QStringLiteral("0 page(s) ready."));
    }

    void everyPartPublishesThroughTheFacade() {
        record(*model_);
        QTRY_COMPARE(
            model_->status(), // the first scanner list, from the scans
            QStringLiteral("No scanner found yet. Check it is switched on and connected."));
        QVERIFY(signals_.contains("devices") && signals_.contains("selectedDeviceID"));
        for (qsizetype i = 0; i < signals_.size(); i += 2) {
            QVERIFY(signals_[i] != "+" && signals_.value(i + 1) == "+");
        }

        // Files added: each page published as it enters, then the selection
        // and the outcome.
        signals_.clear();
        QVERIFY(importImages(2));
        QCOMPARE(signals_, (QStringList{"addingFiles", "+", "status", "+", "pages", "+", "status",
                                        "+", "pages", "+", "addingFiles", "+", "selectedPageID",
                                        "+", "status", "+"}));
        signals_.clear();
        model_->deleteSelection();
        QCOMPARE(signals_,
                 (QStringList{"history", "+", "pages", "+", "selectedPageID", "+", "status", "+"}));
        QCOMPARE(model_->status(), QStringLiteral("1 page(s) ready."));
        QVERIFY(model_->canUndo());

        // Each setter publishes, also an equal value.
        signals_.clear();
        model_->setFileName(model_->fileName());
        model_->setEmailSheetVisible(false);
        model_->editSettings([](AppSettings&) {});
        model_->setErrorMessage(std::nullopt);
        model_->setSelectedDeviceID(QString());
        model_->notifyChanged();
        QCOMPARE(signals_,
                 (QStringList{"fileName", "+", "emailSheetVisible", "+", "settings", "+",
                              "errorMessage", "+", "selectedDeviceID", "+", "pages", "+"}));

        // A failure of a part reaches errorMessage; a save's outcome, status.
        model_->undo();
        model_->setSelectedPageID(model_->pages()[0]->id());
        model_->interleaveSelection(); // two pages: fine
        model_->editSettings([this](AppSettings& s) {
            s.saveFolder = inHome(QStringLiteral("out"));
            s.format = OutputFormat::png;
            s.clearPagesAfterSave = false;
        });
        model_->setFileName(QStringLiteral("doc"));
        model_->save();
        QCOMPARE(model_->status(), QStringLiteral("Saved doc_01.png, doc_02.png"));
        QCOMPARE(model_->lastSavedFiles().size(), 2);
        QCOMPARE(model_->unsavedPageCount(), 0);
        QVERIFY(importImages(1));
        model_->interleaveSelection(); // three pages: refused
        QVERIFY(model_->errorMessage()->startsWith("Cannot interleave 3 page(s)"));
        model_->beginEmail();
        QVERIFY(model_->emailSheetVisible());
    }

    void busyComesFromTheParts() {
        auto browser = std::make_unique<FakeScannerBrowser>();
        FakeScannerBrowser* scanners = browser.get();
        model_ = std::make_unique<ScannerViewModel>(desktop_, std::move(browser));
        const auto device = FakeScannerDevice::scanner(QStringLiteral("s"), QStringLiteral("S"));
        device->setScanSteps({FakeScannerDevice::Step::page(), FakeScannerDevice::Step::hold(),
                              FakeScannerDevice::Step::complete()});
        scanners->plugIn(device);
        QTRY_COMPARE(model_->selectedDeviceID(), QStringLiteral("s"));
        QVERIFY(importImages(1));
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);

        model_->scan();
        QVERIFY(model_->busy() && model_->scanning());
        QVERIFY(!model_->canSave() && !model_->canEmail());
        QTRY_COMPARE(model_->pages().size(), 2); // in while the scan goes on
        device->resume();
        QTRY_VERIFY(!model_->scanning());
        QVERIFY(!model_->busy() && model_->canSave());
        QCOMPARE(busy.count(), 2);
        QCOMPARE(model_->status(), QStringLiteral("Scanned 1 page(s). 2 page(s) ready."));
    }

    // "Add image file..." and files given on the command line or by a second
    // start: folders give their images, and every file that was not added
    // is named in one alert with its reason.
    void addedFilesAndTheirFailures() {
        desktop_->imageFilesAnswer.clear();
        QSignalSpy changed(model_.get(), &ScannerViewModel::changed);
        model_->importFiles(); // the chooser cancelled: nothing at all
        QCOMPARE(desktop_->imageChooserCalls, 1);
        QCOMPARE(changed.count(), 0);

        // A folder given by name adds its images, as a drop does; a file
        // that states no resolution gets the dpi setting; what was not added
        // is reported. (Each reason, and the alert for several, are the
        // importer's.)
        const QList<QUrl> good = writePngs(*home_, 0, 2);
        QVERIFY(writeFile(inHome(QStringLiteral("in/broken.png")), "not an image").isValid());
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && writePngs(*home_, 9, 1).size() == 1 &&
                QImage(inHome("in/9.png")).save(&buffer, "jpg") &&
                QFile::remove(inHome("in/9.png")) && jpeg.mid(6, 5) == QByteArray("JFIF\0", 5));
        jpeg.replace(13, 5, QByteArray::fromHex("0000010001")); // no unit: an aspect ratio only
        QVERIFY(!writeFile(inHome(QStringLiteral("in/plain.jpg")), jpeg).isEmpty());
        model_->editSettings([](AppSettings& s) { s.dpi = 200; });
        model_->importFiles({QUrl::fromLocalFile(inHome(QStringLiteral("in")))});
        QTRY_VERIFY(!model_->importing());
        QCOMPARE(model_->pages().size(), 3);
        QCOMPARE(model_->pages().last()->dpi(), 200.0);
        QCOMPARE(model_->pages()[0]->dpi(), 100.0); // as the file states
        QCOMPARE(model_->errorMessage(), QStringLiteral("Could not read the image at broken.png."));
        QCOMPARE(model_->status(), QStringLiteral("3 page(s) ready."));
        QCOMPARE(desktop_->imageChooserCalls, 1);
        QVERIFY(QFile::exists(good[0].toLocalFile())); // the user's files stay
    }

    void clearAndCleanUp() {
        model_->clearPages(true); // empty: no question
        QCOMPARE(desktop_->discardQuestions, 0);
        QVERIFY(importImages(2));
        desktop_->discardAnswer = false;
        model_->clearPages(true);
        QCOMPARE(model_->pages().size(), 2);
        desktop_->discardAnswer = true;
        model_->clearPages(true);
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QCOMPARE(desktop_->discardQuestions, 2);
        model_->undo();

        // The end: the scanner remembered, the file written, the session gone
        // with every page's file; the list itself is kept.
        QStringList files;
        for (const auto& page : model_->pages()) {
            files << page->cacheURL().toLocalFile();
        }
        const QString session = model_->sessionFolder().toLocalFile();
        model_->setSelectedDeviceID(QStringLiteral("test:1"));
        model_->addDroppedFiles({QUrl::fromLocalFile(inHome(QStringLiteral("in")))});
        model_->cleanUp();
        QVERIFY(!model_->importing());
        QVERIFY(!QFileInfo::exists(session));
        for (const QString& file : files) {
            QVERIFY(!QFile::exists(file));
        }
        QCOMPARE(readJson(settingsPath()).value("lastDeviceId").toString(),
                 QStringLiteral("test:1"));
        QCOMPARE(model_->pages().size(), 2);
        // A later import makes the folder again; clean-up may run twice.
        QVERIFY(importImages(1));
        QVERIFY(QFileInfo(session).isDir());
        model_->cleanUp();
        model_->cleanUp();
        QVERIFY(!QFileInfo::exists(session));
    }
};

QTEST_GUILESS_MAIN(ScannerViewModelTest)
#include "tst_ScannerViewModel.moc"
