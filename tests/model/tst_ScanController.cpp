// Scanners and scans, over a scripted scanner browser and devices whose page
// files are real PNG files.

#include "PageIds.h"

#include "model/ScanController.h"
#include "pages/SessionFolder.h"
#include "scanning/fake/FakeScannerBrowser.h"
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

// The parts a scan needs, in a fresh HOME: the settings (read from the file
// there), the document, the importer and the session folder.
struct ScanParts {
    TestHome home;
    SettingsController settings;
    PageDocument document;
    SessionFolder folder;
    PageImporter importer{document, [this] {
                              folder.create();
                              return folder.url();
                          }};
};

class tst_ScanController : public QObject {
    Q_OBJECT

    std::unique_ptr<ScanParts> parts_;
    std::unique_ptr<ScanController> scans_;
    FakeScannerBrowser* browser_ = nullptr; // owned by the scanner service
    QStringList statuses_;
    std::optional<QString> error_;

    // `holdSearch`: the browser's first search ends only when the test says so.
    void makeController(bool holdSearch = false) {
        scans_.reset();
        auto browser = std::make_unique<FakeScannerBrowser>();
        browser_ = browser.get();
        if (holdSearch) {
            browser_->holdSearch();
        }
        scans_ = std::make_unique<ScanController>(
            parts_->settings, parts_->document, parts_->importer,
            [this] {
                parts_->folder.create();
                return parts_->folder.url();
            },
            std::move(browser));
        statuses_.clear();
        connect(scans_.get(), &ScanController::statusReported, this,
                [this](const QString& text) { statuses_ << text; });
        connect(scans_.get(), &ScanController::failed, this,
                [this](const QString& text) { error_ = text; });
    }
    QString status() const { return statuses_.value(statuses_.size() - 1, "Ready."); }
    const PageDocument::Pages& pages() const { return parts_->document.pages(); }
    void editSettings(const std::function<void(AppSettings&)>& edit) {
        parts_->settings.edit(edit);
    }

    // Plugs a scanner in and waits for the list that shows it.
    std::shared_ptr<FakeScannerDevice> plugIn(const QString& id, const QString& name) {
        auto device = FakeScannerDevice::scanner(id, name);
        const qsizetype before = scans_->devices().size();
        browser_->plugIn(device);
        if (!QTest::qWaitFor([&] { return scans_->devices().size() == before + 1; })) {
            return nullptr;
        }
        return device;
    }

    QString session() const { return parts_->folder.path(); }

    // The settings of a start after a run with the remembered scanner.
    void storeRememberedScanner() {
        AppSettings stored = AppSettings::defaults();
        stored.lastDeviceId = QStringLiteral("remembered");
        parts_->settings.set(stored);
    }

private Q_SLOTS:
    void init() {
        parts_ = std::make_unique<ScanParts>();
        error_.reset();
    }
    void cleanup() {
        scans_.reset();
        parts_.reset();
    }

    void scannerListKeepsASelection() {
        // The remembered scanner is only the start value: the first list,
        // still empty, replaces it.
        storeRememberedScanner();
        makeController();
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("remembered"));
        QCOMPARE(status(), QStringLiteral("Ready."));
        QCOMPARE(browser_->starts(), 1);
        QTRY_COMPARE(status(), noScanner);
        QCOMPARE(scans_->selectedDeviceID(), QString());
        QVERIFY(scans_->devices().isEmpty());
        // Scan without a scanner: refused, and nothing starts.
        QSignalSpy busy(scans_.get(), &ScanController::busyChanged);
        scans_->scan();
        QCOMPARE(error_,
                 QStringLiteral("Select a scanner first. Press Refresh if the list is empty."));
        QCOMPARE(busy.count(), 0);
        QCOMPARE(status(), noScanner);
        QVERIFY(!scans_->scanner().isScanning());

        // The first scanner found is selected; a second one leaves it selected.
        QVERIFY(plugIn(QStringLiteral("b"), QStringLiteral("Beta")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(status(), QStringLiteral("1 scanner(s) found. Ready."));
        const auto alpha = plugIn(QStringLiteral("a"), QStringLiteral("alpha"));
        QVERIFY(alpha);
        QCOMPARE(scans_->devices(), (QList<ScannerDeviceInfo>{{"a", "alpha"}, {"b", "Beta"}}));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(status(), QStringLiteral("2 scanner(s) found. Ready."));

        // The selected scanner goes away: the first remaining one takes over.
        scans_->setSelectedDeviceID(QStringLiteral("a"));
        browser_->unplug(alpha);
        QTRY_COMPARE(scans_->devices().size(), 1);
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("b"));
        QCOMPARE(status(), QStringLiteral("1 scanner(s) found. Ready."));

        // Refresh browses afresh; the next list replaces its status.
        statuses_ << QStringLiteral("marker");
        scans_->refresh();
        QCOMPARE(browser_->starts(), 2);
        QCOMPARE(status(), QStringLiteral("Looking for scanners..."));
        QTRY_COMPARE(status(), QStringLiteral("1 scanner(s) found. Ready."));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("b"));
    }

    void startUpWaitsForTheFirstCompleteListing() {
        storeRememberedScanner();

        // Lists before the search ends: the status stays, the remembered
        // scanner is kept through an empty list and chosen when it turns up.
        makeController(true);
        QCoreApplication::sendPostedEvents(); // the first, empty list
        QCOMPARE(status(), QStringLiteral("Ready."));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("remembered"));
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("other"));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("remembered"));
        QCOMPARE(status(), QStringLiteral("Ready."));
        QVERIFY(statuses_.isEmpty());

        // The complete listing reports as before.
        browser_->completeSearch();
        QTRY_COMPARE(status(), QStringLiteral("2 scanner(s) found. Ready."));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("remembered"));

        // Closing before the listing ends keeps the remembered scanner even
        // when another one was listed meanwhile.
        makeController(true);
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("other"));
        QCOMPARE(scans_->deviceToRemember(), QStringLiteral("remembered"));

        // A choice of the user's stands; after the first listing the
        // remembered scanner is forgotten.
        makeController(true);
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QVERIFY(plugIn(QStringLiteral("third"), QStringLiteral("Third")));
        scans_->setSelectedDeviceID(QStringLiteral("third"));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("third"));
        makeController(true);
        browser_->completeSearch();
        QTRY_COMPARE(status(), noScanner);
        QCOMPARE(scans_->selectedDeviceID(), QString());
        QVERIFY(plugIn(QStringLiteral("other"), QStringLiteral("Other")));
        QVERIFY(plugIn(QStringLiteral("remembered"), QStringLiteral("Remembered")));
        QCOMPARE(scans_->selectedDeviceID(), QStringLiteral("other"));
    }

    void scannedFilesBecomePages() {
        makeController();
        QVERIFY(parts_->document.add(makePages(parts_->home, 0, 1), true));
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        editSettings([](AppSettings& s) {
            s.source = ScanSource::feeder;
            s.colour = ColourMode::greyscale;
            s.paper = PaperSize::letter;
            s.dpi = 200;
        });
        statuses_.clear();

        scans_->scan();
        QVERIFY(scans_->busy());
        // The request follows the settings, into the session folder.
        QTRY_COMPARE(device->scans().size(), 1);
        const ScanConfiguration& asked = device->scans().first();
        QCOMPARE(asked.resolution, 200);
        QCOMPARE(asked.pixelType, ScanConfiguration::PixelType::grey);
        QCOMPARE(asked.documentType, PaperSize::letter);
        QCOMPARE(asked.downloadsDirectory, parts_->folder.url());
        QTRY_COMPARE(status(), QStringLiteral("Scanned page 1..."));
        QVERIFY(scans_->busy());

        device->resume();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(statuses_, (QStringList{"Scanning...", "Scanned page 1...", "Scanned page 2...",
                                         "Scanned 2 page(s). 3 page(s) ready."}));
        QCOMPARE(error_, std::nullopt);
        QCOMPARE(pages().size(), 3);
        QCOMPARE(parts_->document.selectedPage(), pages().last());
        QCOMPARE(pages()[1]->dpi(), 200.0);
        // The delivered files are gone; the three cache files are there.
        QVERIFY(!pngFilesIn(session()).filter(QStringLiteral("page-")).size());
        QCOMPARE(pngFilesIn(session()).size(), 2);
        for (const auto& page : pages()) {
            QVERIFY(QFile::exists(page->cacheURL().toLocalFile()));
        }
    }

    void resolutionIsFixedWhenTheScanStarts() {
        makeController();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        // A unit that offers no resolutions writes pages that state none.
        device->setUnits({{ScannerUnit::Type::flatbed, {}, QSizeF(8.5, 11.7), false}});
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        editSettings([](AppSettings& s) {
            s.source = ScanSource::flatbed;
            s.dpi = 150;
        });
        scans_->scan();
        QTRY_COMPARE(status(), QStringLiteral("Scanned page 1..."));
        editSettings([](AppSettings& s) { s.dpi = 600; });
        device->resume();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(pages().size(), 2);
        QCOMPARE(pages()[0]->dpi(), 150.0);
        QCOMPARE(pages()[1]->dpi(), 150.0);
    }

    void scansThatEndWithoutPages() {
        makeController();
        QVERIFY(parts_->document.add(makePages(parts_->home, 0, 1), true));
        const auto before = pages();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);

        // Nothing delivered, no error.
        device->setScanSteps({Step::complete()});
        scans_->scan();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(status(), QStringLiteral("Nothing was scanned."));
        QCOMPARE(error_, std::nullopt);
        QCOMPARE(pages(), before);

        // Unplugged during the scan: the page it delivered first is kept, and
        // the status says the scan did not end normally.
        device->setScanSteps({Step::page(), Step::remove()});
        scans_->scan();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(error_, disconnected);
        QCOMPARE(status(),
                 QStringLiteral("Scanned 1 page(s), then the scan stopped: ") + disconnected);
        QCOMPARE(pages().size(), before.size() + 1);
        QCOMPARE(parts_->document.selectedID(), pages().last()->id());
        parts_->document.deleteSelection();
        QCOMPARE(pages(), before);

        // A flatbed-only scanner asked for its feeder.
        error_.reset();
        device->setUnits({{ScannerUnit::Type::flatbed, {300}, QSizeF(8.5, 11.7), false}});
        editSettings([](AppSettings& s) { s.source = ScanSource::feederDuplex; });
        scans_->scan();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(error_,
                 QStringLiteral(
                     "This scanner does not have a document feeder. Choose a different source."));
        QCOMPARE(status(), QStringLiteral("Scan failed."));
        QCOMPARE(pages(), before);
    }

    void secondScanWhileOneRuns() {
        makeController();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        scans_->scan();
        QTRY_COMPARE(status(), QStringLiteral("Scanned page 1..."));

        // The service refuses at once; the model reports it and is no longer
        // busy, although the first scan goes on.
        scans_->scan();
        QTRY_COMPARE(status(), QStringLiteral("Scan failed."));
        QCOMPARE(error_, QStringLiteral("A scan is already running."));
        QVERIFY(!scans_->busy());
        QVERIFY(scans_->scanner().isScanning());
        device->resume();
        QTRY_COMPARE(status(), QStringLiteral("Scanned 2 page(s). 2 page(s) ready."));
        QVERIFY(!scans_->busy());
        QCOMPARE(device->scans().size(), 1);

        // Callbacks still on their way when the model goes away do nothing.
        scans_->scan();
        QTRY_COMPARE(status(), QStringLiteral("Scanned page 1..."));
        scans_->scan(); // its refusal is queued for the model
        browser_->plugIn(FakeScannerDevice::scanner(QStringLiteral("t"), QStringLiteral("T")));
        scans_.reset();
        device->resume();
        QTest::qWait(50);
    }

    void cancelAndUnreadablePagesDuringAStreamedScan() {
        makeController();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        QSignalSpy scanning(scans_.get(), &ScanController::scanningChanged);

        // Pages enter the list while the scan is still running.
        device->setScanSteps(
            {Step::page(), Step::page(), Step::hold(), Step::page(), Step::complete()});
        scans_->scan();
        QVERIFY(scans_->scanning());
        QTRY_COMPARE(pages().size(), 2);
        QVERIFY(scans_->busy());
        QCOMPARE(status(), QStringLiteral("Scanned page 2..."));

        // Cancel: both pages stay, no alert.
        scans_->cancel();
        QTRY_VERIFY(!scans_->busy());
        QVERIFY(!scans_->scanning());
        QCOMPARE(scanning.size(), 2);
        QCOMPARE(device->cancelRequests(), 1);
        QCOMPARE(status(), QStringLiteral("Scan cancelled. 2 page(s) kept."));
        QCOMPARE(error_, std::nullopt);
        QCOMPARE(pages().size(), 2);

        // A page file that cannot be read gives its failure; the pages before
        // and after it still come in.
        device->setScanSteps({Step::page(), Step::brokenPage(), Step::page(), Step::complete()});
        scans_->scan();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(pages().size(), 4);
        QVERIFY(
            error_.value_or(QString()).startsWith(QStringLiteral("Could not read the image at ")));
        QCOMPARE(status(), QStringLiteral("Scanned 3 page(s). 4 page(s) ready."));
    }

    void scanAfterCleanUpKeepsTheFolderPrivate() {
        makeController();
        const auto device = plugIn(QStringLiteral("s"), QStringLiteral("Scanner"));
        QVERIFY(device);
        parts_->folder.remove();
        QVERIFY(!QFileInfo::exists(session()));
        scans_->scan();
        QTRY_VERIFY(!scans_->busy());
        QCOMPARE(status(), QStringLiteral("Scanned 1 page(s). 1 page(s) ready."));
        QCOMPARE(QFileInfo(session()).permissions() & 0x0077, QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(tst_ScanController)
#include "tst_ScanController.moc"
