// The view model's scanning, over a scripted scanner browser and devices
// whose page files are real PNG files.

#include "ModelFixture.h"

#include "scanning/fake/FakeScannerDevice.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using Step = FakeScannerDevice::Step;

const QString noScanner =
    QStringLiteral("No scanner found yet. Check it is switched on and connected.");
const QString disconnected = QStringLiteral("The scanner was disconnected during the scan.");

QStringList pngFilesIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
}

} // namespace

class ModelScanningTest : public QObject, ModelFixture {
    Q_OBJECT

    FakeScannerBrowser* browser_ = nullptr; // owned by the model's scanner service
    QStringList statuses_;

    // `holdSearch`: the browser's first search ends only when the test says so.
    void makeModel(bool holdSearch = false) {
        model_.reset();
        auto browser = std::make_unique<FakeScannerBrowser>();
        browser_ = browser.get();
        if (holdSearch) {
            browser_->holdSearch();
        }
        model_ = std::make_unique<ScannerViewModel>(desktop_, std::move(browser));
        statuses_.clear();
        connect(model_.get(), &ScannerViewModel::statusChanged, this,
                [this] { statuses_ << model_->status(); });
    }

    // Plugs a scanner in and waits for the list that shows it.
    std::shared_ptr<FakeScannerDevice> plugIn(const QString& id, const QString& name) {
        auto device = FakeScannerDevice::scanner(id, name);
        const qsizetype before = model_->devices().size();
        browser_->plugIn(device);
        if (!QTest::qWaitFor([&] { return model_->devices().size() == before + 1; })) {
            return nullptr;
        }
        return device;
    }

    QString session() const { return model_->sessionFolder().toLocalFile(); }

private Q_SLOTS:
    // The model comes with each case: some start with settings on disk.
    void init() { QVERIFY(startCase(false)); }
    void cleanup() { endCase(); }

    void scannerListKeepsASelection() {
        // The remembered scanner is only the start value: the first list,
        // still empty, replaces it.
        AppSettings stored = AppSettings::defaults();
        stored.lastDeviceId = QStringLiteral("remembered");
        stored.save();
        makeModel();
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("remembered"));
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
        QCOMPARE(browser_->starts(), 1);
        QTRY_COMPARE(model_->status(), noScanner);
        QCOMPARE(model_->selectedDeviceID(), QString());
        QVERIFY(model_->devices().isEmpty());

        // The first scanner found is selected; a second one leaves it selected.
        QVERIFY(plugIn(QStringLiteral("b"), QStringLiteral("Beta")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(model_->status(), QStringLiteral("1 scanner(s) found. Ready."));
        const auto alpha = plugIn(QStringLiteral("a"), QStringLiteral("alpha"));
        QVERIFY(alpha);
        QCOMPARE(model_->devices(), (QList<ScannerDeviceInfo>{{"a", "alpha"}, {"b", "Beta"}}));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(model_->status(), QStringLiteral("2 scanner(s) found. Ready."));

        // The selected scanner goes away: the first remaining one takes over.
        model_->setSelectedDeviceID(QStringLiteral("a"));
        browser_->unplug(alpha);
        QTRY_COMPARE(model_->devices().size(), 1);
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(model_->status(), QStringLiteral("1 scanner(s) found. Ready."));

        // Refresh browses afresh; the next list replaces its status.
        model_->setStatus(QStringLiteral("marker"));
        model_->refreshScanners();
        QCOMPARE(browser_->starts(), 2);
        QCOMPARE(model_->status(), QStringLiteral("Looking for scanners..."));
        QTRY_COMPARE(model_->status(), QStringLiteral("1 scanner(s) found. Ready."));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("b"));
    }

    void startUpWaitsForTheFirstCompleteListing() {
        AppSettings stored = AppSettings::defaults();
        stored.lastDeviceId = QStringLiteral("remembered");
        stored.save();

        // Lists before the search ends: the status stays, the remembered
        // scanner is kept through an empty list and chosen when it turns up.
        makeModel(true);
        QCoreApplication::sendPostedEvents(); // the first, empty list
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("remembered"));
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("other"));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("remembered"));
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
        QVERIFY(statuses_.isEmpty());

        // The complete listing reports as before.
        browser_->completeSearch();
        QTRY_COMPARE(model_->status(), QStringLiteral("2 scanner(s) found. Ready."));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("remembered"));

        // Closing before the listing ends keeps the remembered scanner even
        // when another one was listed meanwhile.
        makeModel(true);
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("other"));
        model_->cleanUp();
        QCOMPARE(AppSettings::load().lastDeviceId, QStringLiteral("remembered"));

        // A choice of the user's stands; after the first listing the
        // remembered scanner is forgotten.
        makeModel(true);
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QVERIFY(plugIn(QStringLiteral("third"), QStringLiteral("Third")));
        model_->setSelectedDeviceID(QStringLiteral("third"));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("third"));
        makeModel(true);
        browser_->completeSearch();
        QTRY_COMPARE(model_->status(), noScanner);
        QCOMPARE(model_->selectedDeviceID(), QString());
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(model_->selectedDeviceID(), QStringLiteral("other"));
    }

    void scanWithoutAScanner() {
        makeModel();
        QTRY_COMPARE(model_->status(), noScanner);
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);
        model_->scan();
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("Select a scanner first. Press Refresh if the list is empty."));
        QCOMPARE(busy.count(), 0);
        QCOMPARE(model_->status(), noScanner);
        QVERIFY(!model_->scanner().isScanning());
    }

    void scannedFilesBecomePages() {
        makeModel();
        QVERIFY(importImages(1));
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        model_->editSettings([](AppSettings& s) {
            s.source = ScanSource::feeder;
            s.colour = ColourMode::greyscale;
            s.paper = PaperSize::letter;
            s.dpi = 200;
        });
        statuses_.clear();

        model_->scan();
        QVERIFY(model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Scanning..."));
        QVERIFY(!model_->canSave() && !model_->canEmail());
        // The request follows the settings, into the session folder.
        QTRY_COMPARE(device->scans().size(), 1);
        const ScanConfiguration& asked = device->scans().first();
        QCOMPARE(asked.resolution, 200);
        QCOMPARE(asked.pixelType, ScanConfiguration::PixelType::grey);
        QCOMPARE(asked.documentType, PaperSize::letter);
        QCOMPARE(asked.downloadsDirectory, model_->sessionFolder());
        QTRY_COMPARE(model_->status(), QStringLiteral("Scanned page 1..."));
        QVERIFY(model_->busy());

        device->resume();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Scanned 2 page(s). 3 page(s) ready."));
        QCOMPARE(statuses_, (QStringList{"Scanning...", "Scanned page 1...", "Scanned page 2...",
                                         "Scanned 2 page(s). 3 page(s) ready."}));
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->pages().size(), 3);
        QCOMPARE(model_->selectedPage(), model_->pages().last());
        QCOMPARE(model_->pages()[1]->dpi(), 200.0);
        // The delivered files are gone; the three cache files are there.
        QVERIFY(!pngFilesIn(session()).filter(QStringLiteral("page-")).size());
        QCOMPARE(pngFilesIn(session()).size(), 3);
        for (const auto& page : model_->pages()) {
            QVERIFY(QFile::exists(page->cacheURL().toLocalFile()));
        }
    }

    void resolutionIsFixedWhenTheScanStarts() {
        makeModel();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        // A unit that offers no resolutions writes pages that state none.
        device->setUnits({{ScannerUnit::Type::flatbed, {}, QSizeF(8.5, 11.7), false}});
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        model_->editSettings([](AppSettings& s) {
            s.source = ScanSource::flatbed;
            s.dpi = 150;
        });
        model_->scan();
        QTRY_COMPARE(model_->status(), QStringLiteral("Scanned page 1..."));
        model_->editSettings([](AppSettings& s) { s.dpi = 600; });
        device->resume();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->pages().size(), 2);
        QCOMPARE(model_->pages()[0]->dpi(), 150.0);
        QCOMPARE(model_->pages()[1]->dpi(), 150.0);
    }

    void scansThatEndWithoutPages() {
        makeModel();
        QVERIFY(importImages(1));
        const auto pages = model_->pages();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);

        // Nothing delivered, no error.
        device->setScanSteps({Step::complete()});
        model_->scan();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Nothing was scanned."));
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->pages(), pages);

        // Unplugged during the scan: the page it delivered first is kept, and
        // the status says the scan did not end normally.
        device->setScanSteps({Step::page(), Step::remove()});
        model_->scan();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->errorMessage(), disconnected);
        QCOMPARE(model_->status(),
                 QStringLiteral("Scanned 1 page(s), then the scan stopped: ") + disconnected);
        QCOMPARE(model_->pages().size(), pages.size() + 1);
        QCOMPARE(model_->selectedPageID(), model_->pages().last()->id());
        model_->deleteSelection();
        QCOMPARE(model_->pages(), pages);

        // A flatbed-only scanner asked for its feeder.
        model_->setErrorMessage(std::nullopt);
        device->setUnits({{ScannerUnit::Type::flatbed, {300}, QSizeF(8.5, 11.7), false}});
        model_->editSettings([](AppSettings& s) { s.source = ScanSource::feederDuplex; });
        model_->scan();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral(
                     "This scanner does not have a document feeder. Choose a different source."));
        QCOMPARE(model_->status(), QStringLiteral("Scan failed."));
        QCOMPARE(model_->pages(), pages);
    }

    void secondScanWhileOneRuns() {
        makeModel();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        model_->scan();
        QTRY_COMPARE(model_->status(), QStringLiteral("Scanned page 1..."));

        // The service refuses at once; the model reports it and is no longer
        // busy, although the first scan goes on.
        model_->scan();
        QTRY_COMPARE(model_->status(), QStringLiteral("Scan failed."));
        QCOMPARE(model_->errorMessage(), QStringLiteral("A scan is already running."));
        QVERIFY(!model_->busy());
        QVERIFY(model_->scanner().isScanning());
        device->resume();
        QTRY_COMPARE(model_->status(), QStringLiteral("Scanned 2 page(s). 2 page(s) ready."));
        QVERIFY(!model_->busy());
        QCOMPARE(device->scans().size(), 1);

        // Callbacks still on their way when the model goes away do nothing.
        model_->scan();
        QTRY_COMPARE(model_->status(), QStringLiteral("Scanned page 1..."));
        model_->scan(); // its refusal is queued for the model
        browser_->plugIn(FakeScannerDevice::scanner(QStringLiteral("t"), QStringLiteral("T")));
        model_.reset();
        device->resume();
        QTest::qWait(50);
    }

    void cancelAndUnreadablePagesDuringAStreamedScan() {
        makeModel();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        QSignalSpy scanning(model_.get(), &ScannerViewModel::scanningChanged);

        // Pages enter the list while the scan is still running.
        device->setScanSteps(
            {Step::page(), Step::page(), Step::hold(), Step::page(), Step::complete()});
        model_->scan();
        QVERIFY(model_->scanning());
        QTRY_COMPARE(model_->pages().size(), 2);
        QVERIFY(model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Scanned page 2..."));

        // Cancel: both pages stay, no alert.
        model_->cancelScan();
        QTRY_VERIFY(!model_->busy());
        QVERIFY(!model_->scanning());
        QCOMPARE(scanning.size(), 2);
        QCOMPARE(device->cancelRequests(), 1);
        QCOMPARE(model_->status(), QStringLiteral("Scan cancelled. 2 page(s) kept."));
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->pages().size(), 2);

        // A page file that cannot be read gives its failure; the pages before
        // and after it still come in.
        device->setScanSteps({Step::page(), Step::brokenPage(), Step::page(), Step::complete()});
        model_->scan();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->pages().size(), 4);
        QVERIFY(model_->errorMessage().value_or(QString()).startsWith(
            QStringLiteral("Could not read the image at ")));
        QCOMPARE(model_->status(), QStringLiteral("Scanned 3 page(s). 4 page(s) ready."));
    }

    void scanAfterCleanUpKeepsTheFolderPrivate() {
        makeModel();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        model_->cleanUp();
        QVERIFY(!QFileInfo::exists(session()));
        model_->scan();
        QTRY_VERIFY(!model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Scanned 1 page(s). 1 page(s) ready."));
        QCOMPARE(QFileInfo(session()).permissions() & 0x0077, QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(ModelScanningTest)
#include "tst_ModelScanning.moc"
