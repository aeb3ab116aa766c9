// ScannerService's discovery and scan state machine, driven through a
// scripted browser and devices.
#include "scanning/DeviceListing.h"
#include "scanning/ScannerService.h"
#include "scanning/fake/FakeScannerBrowser.h"
#include "scanning/fake/FakeScannerDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

using Step = FakeScannerDevice::Step;
using Type = ScannerUnit::Type;

const QString disconnected = QStringLiteral("The scanner was disconnected during the scan.");

// What the completion of one scan saw.
struct Outcome {
    int calls = 0;
    bool returned = false;
    bool calledBeforeReturn = false;
    bool onGuiThread = true;
    std::optional<ScannerService::ScanResult> result;

    bool succeeded() const { return result && result->ok(); }
    QList<QUrl> urls() const { return succeeded() ? result->value() : QList<QUrl>{}; }
    QString failureText() const {
        return result && !result->ok() ? result->failure().description() : QString();
    }
};

std::shared_ptr<Outcome> startScan(ScannerService& service, const ScanRequest& request,
                                   const QUrl& folder) {
    auto outcome = std::make_shared<Outcome>();
    service.scan(request, folder, [outcome](const ScannerService::ScanResult& result) {
        ++outcome->calls;
        outcome->calledBeforeReturn = !outcome->returned;
        outcome->onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        outcome->result = result;
    });
    outcome->returned = true;
    return outcome;
}

ScanRequest request(const QString& deviceId, ScanSource source = ScanSource::flatbed, int dpi = 300,
                    PaperSize paper = PaperSize::a4, ColourMode colour = ColourMode::colour) {
    return {deviceId, source, colour, paper, dpi};
}

QStringList names(const QList<ScannerDeviceInfo>& devices) {
    QStringList list;
    for (const auto& device : devices) {
        list.append(device.name);
    }
    return list;
}

// A service over a fake browser that has already been started.
struct Rig {
    FakeScannerBrowser* browser;
    std::unique_ptr<ScannerService> service;
    QTemporaryDir dir;

    Rig() {
        auto owned = std::make_unique<FakeScannerBrowser>();
        browser = owned.get();
        service = std::make_unique<ScannerService>(std::move(owned));
        service->startBrowsing();
        // Lets the first (empty) list be published before the test looks.
        QCoreApplication::sendPostedEvents();
    }
    QUrl folder() const { return QUrl::fromLocalFile(dir.filePath(QStringLiteral("session"))); }

    std::shared_ptr<FakeScannerDevice> plugIn(const QString& id, const QString& name) {
        auto device = FakeScannerDevice::scanner(id, name);
        browser->plugIn(device);
        return device;
    }
    // Runs a scan to its completion.
    std::shared_ptr<Outcome> scan(const ScanRequest& r) {
        auto outcome = startScan(*service, r, folder());
        if (!QTest::qWaitFor([&] { return outcome->calls > 0; }, 10000)) {
            qWarning("scan did not complete");
        }
        return outcome;
    }
    // The configuration the device was given for its last scan.
    static ScanConfiguration lastConfiguration(const FakeScannerDevice& device) {
        return device.scans().isEmpty() ? ScanConfiguration{} : device.scans().last();
    }
};

} // namespace

class ScannerServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listIsSortedWithoutCamerasAndNamesEveryScanner() {
        auto owned = std::make_unique<FakeScannerBrowser>();
        FakeScannerBrowser* browser = owned.get();
        ScannerService service(std::move(owned));
        browser->plugIn(FakeScannerDevice::scanner("b", "Scanner B"));
        browser->plugIn(FakeScannerDevice::scanner("a", "scanner a"));
        browser->plugIn(std::make_shared<FakeScannerDevice>(QString("cam"), QString("Camera"),
                                                            ScannerDevice::Kind::camera));
        browser->plugIn(std::make_shared<FakeScannerDevice>(QString("n"), std::nullopt));

        QVERIFY(!browser->isRunning()); // browsing waits for startBrowsing
        service.startBrowsing();
        QVERIFY(service.devices().isEmpty()); // published later, never synchronously
        QTRY_COMPARE(names(service.devices()), QStringList({"Scanner", "scanner a", "Scanner B"}));
        QCOMPARE(service.devices().at(1), (ScannerDeviceInfo{"a", "scanner a"}));
        QCOMPARE(service.devices().at(0).id, QString("n"));
    }

    void devicesWithoutIdentifierAreKeyedByNameAndRemovedByIdentity() {
        Rig rig;
        auto plain = std::make_shared<FakeScannerDevice>(std::nullopt, QString("Plain"));
        auto anonymous = std::make_shared<FakeScannerDevice>(std::nullopt, std::nullopt);
        rig.browser->plugIn(plain);
        rig.browser->plugIn(anonymous);
        QTRY_COMPARE(rig.service->devices().size(), 2);
        QCOMPARE(rig.service->devices().at(0), (ScannerDeviceInfo{"Plain", "Plain"}));
        // Neither identifier nor name: a random UUID and the name "Scanner".
        const ScannerDeviceInfo anon = rig.service->devices().at(1);
        QCOMPARE(anon.name, QString("Scanner"));
        QCOMPARE(anon.id.size(), 36);
        QCOMPARE(anon.id, anon.id.toUpper());

        // The request names the device by its name-derived key.
        const auto outcome = rig.scan(request("Plain"));
        QVERIFY(outcome->succeeded());
        QCOMPARE(plain->scans().size(), 1);

        QSignalSpy published(rig.service.get(), &ScannerService::devicesChanged);
        rig.browser->unplug(anonymous);
        QTRY_COMPARE(names(rig.service->devices()), QStringList({"Plain"}));
        rig.browser->unplug(plain);
        QTRY_VERIFY(rig.service->devices().isEmpty());
        // Removing a device that is not in the table still republishes.
        const int before = static_cast<int>(published.size());
        Q_EMIT rig.browser->deviceRemoved(FakeScannerDevice::scanner("x", "Unknown"));
        QTRY_COMPARE(published.size(), before + 1);
        QVERIFY(rig.service->devices().isEmpty());
    }

    void equalNamesAreToldApartByTheirIdentifiers() {
        Rig rig;
        rig.plugIn("test:1", "Noname frontend-tester");
        auto first = rig.plugIn("test:0", "Noname frontend-tester");
        auto remote = rig.plugIn("net:host:test:0", "noname frontend-tester");
        rig.plugIn("epson2:libusb:001:004", "Epson Perfection V39");
        QTRY_COMPARE(
            names(rig.service->devices()),
            QStringList({"Epson Perfection V39", "noname frontend-tester (net:host:test:0)",
                         "Noname frontend-tester (test:0)", "Noname frontend-tester (test:1)"}));
        // The identifiers themselves are untouched.
        QCOMPARE(rig.service->devices().at(2).id, QString("test:0"));
        // Once the name is unique again, it stands alone.
        rig.browser->unplug(first);
        rig.browser->unplug(remote);
        QTRY_COMPARE(names(rig.service->devices()),
                     QStringList({"Epson Perfection V39", "Noname frontend-tester"}));
    }

    void listIsInAHumanOrderInEveryLocale() {
        const QLocale saved;
        QLocale::setDefault(QLocale::c());
        Rig rig;
        rig.plugIn("z", "Zeta 2");
        rig.plugIn("e", "epson 3");
        rig.plugIn("é", "\u00C9pson 1");
        QTRY_COMPARE(names(rig.service->devices()),
                     QStringList({"\u00C9pson 1", "epson 3", "Zeta 2"}));
        QLocale::setDefault(saved);

        // A language's own order wins where it has one: Swedish puts \u00D6
        // after Z, German with O.
        const QList<ScannerDeviceInfo> devices{{"1", "\u00D6land"}, {"2", "Zeta"}, {"3", "Oslo"}};
        QCOMPARE(names(DeviceListing::forDisplay(devices, QLocale(QLocale::Swedish))),
                 QStringList({"Oslo", "Zeta", "\u00D6land"}));
        QCOMPARE(names(DeviceListing::forDisplay(devices, QLocale(QLocale::German))),
                 QStringList({"\u00D6land", "Oslo", "Zeta"}));
    }

    void everyChangePublishesACompleteSortedListAndRefreshKeepsIt() {
        Rig rig;
        QTRY_COMPARE(rig.browser->starts(), 1);
        QSignalSpy published(rig.service.get(), &ScannerService::devicesChanged);
        rig.plugIn("3", "Gamma");
        rig.plugIn("1", "alpha");
        rig.plugIn("2", "Beta");
        QTRY_COMPARE(published.size(), 3);
        QCOMPARE(names(published.at(0).at(0).value<QList<ScannerDeviceInfo>>()),
                 QStringList({"Gamma"}));
        QCOMPARE(names(published.at(1).at(0).value<QList<ScannerDeviceInfo>>()),
                 QStringList({"alpha", "Gamma"}));
        QCOMPARE(names(published.at(2).at(0).value<QList<ScannerDeviceInfo>>()),
                 QStringList({"alpha", "Beta", "Gamma"}));

        // A search that finds nothing still publishes (the empty list).
        Rig empty;
        QSignalSpy emptyPublished(empty.service.get(), &ScannerService::devicesChanged);
        empty.service->refresh();
        QTRY_COMPARE(emptyPublished.size(), 1);
    }

    void refusalsAnswerAtOnceAndLeaveTheRunningScanAlone() {
        Rig rig;
        QSignalSpy scanning(rig.service.get(), &ScannerService::isScanningChanged);

        // No scanner known.
        auto none = startScan(*rig.service, request("x"), rig.folder());
        QCOMPARE(none->calls, 1);
        QVERIFY(none->calledBeforeReturn);
        QCOMPARE(none->result->failure().kind(), ScannerFailure::Kind::noDevice);
        QCOMPARE(none->failureText(),
                 QString("The selected scanner could not be found. Check that it is switched on "
                         "and connected, then press Refresh."));

        auto device = rig.plugIn("s", "Scanner");
        QTRY_COMPARE(rig.service->devices().size(), 1);

        // The folder cannot be created: a file stands where a folder is needed.
        QFile blocker(rig.dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto blocked = startScan(*rig.service, request("s"),
                                 QUrl::fromLocalFile(rig.dir.filePath("file/session")));
        QCOMPARE(blocked->calls, 1);
        QVERIFY(blocked->calledBeforeReturn);
        QCOMPARE(blocked->result->failure().kind(), ScannerFailure::Kind::folderNotCreated);
        QVERIFY(blocked->failureText().contains(rig.dir.filePath("file/session")));
        QVERIFY(scanning.isEmpty());
        QCOMPARE(device->openRequests(), 0);

        // A second scan while one runs.
        device->setScanSteps({Step::hold(), Step::page(), Step::complete()});
        auto first = startScan(*rig.service, request("s"), rig.folder());
        QVERIFY(rig.service->isScanning());
        QVERIFY(!first->calledBeforeReturn && first->calls == 0);
        QTRY_COMPARE(device->scans().size(), 1);
        auto second = startScan(*rig.service, request("s"), rig.folder());
        QCOMPARE(second->calls, 1);
        QVERIFY(second->calledBeforeReturn);
        QCOMPARE(second->failureText(), QString("A scan is already running."));
        QVERIFY(rig.service->isScanning());

        device->resume();
        QTRY_COMPARE(first->calls, 1);
        QVERIFY(first->onGuiThread);
        QCOMPARE(first->urls().size(), 1);
        QVERIFY(QFile::exists(first->urls().first().toLocalFile()));
        QVERIFY(!rig.service->isScanning());
        QCOMPARE(scanning.size(), 2);
        QCOMPARE(scanning.at(0).at(0).toBool(), true);
        QCOMPARE(scanning.at(1).at(0).toBool(), false);
        QCOMPARE(device->scans().size(), 1);
    }

    void unknownDeviceIdScansWithAKnownScanner() {
        Rig rig;
        auto device = rig.plugIn("only", "Only");
        QTRY_COMPARE(rig.service->devices().size(), 1);
        const auto outcome = rig.scan(request("gone"));
        QVERIFY(outcome->succeeded());
        QCOMPARE(device->scans().size(), 1);
    }

    void sessionAndSourceFailuresHaveTheirTexts() {
        Rig rig;
        auto flatbedOnly = rig.plugIn("f", "Flatbed only");
        flatbedOnly->setUnits({{Type::flatbed, {300}, QSizeF(8.5, 11.7), false}});
        auto feederOnly = rig.plugIn("d", "Feeder only");
        feederOnly->setUnits({{Type::documentFeeder, {300}, QSizeF(), false}});
        QTRY_COMPARE(rig.service->devices().size(), 2);

        QCOMPARE(
            rig.scan(request("f", ScanSource::feeder))->failureText(),
            QString("This scanner does not have a document feeder. Choose a different source."));
        QCOMPARE(rig.scan(request("d", ScanSource::flatbed))->failureText(),
                 QString("This scanner does not have a flatbed. Choose a different source."));
        QVERIFY(flatbedOnly->scans().isEmpty());

        // The session stays open: the next scan skips opening, and a unit that is
        // already selected is not selected again.
        QCOMPARE(flatbedOnly->openRequests(), 1);
        QVERIFY(rig.scan(request("f"))->succeeded());
        QCOMPARE(flatbedOnly->openRequests(), 1);
        QCOMPARE(flatbedOnly->selectRequests(), 0);

        auto broken = rig.plugIn("b", "Broken");
        broken->setOpenError(QString("Device busy."));
        QTRY_COMPARE(rig.service->devices().size(), 3);
        QCOMPARE(rig.scan(request("b"))->failureText(),
                 QString("The scanner could not be opened: Device busy."));

        auto stuck = rig.plugIn("u", "Unit stuck");
        stuck->setSelectError(QString("Cover open."));
        QTRY_COMPARE(rig.service->devices().size(), 4);
        QCOMPARE(rig.scan(request("u", ScanSource::feeder))->failureText(),
                 QString("The scan source could not be selected: Cover open."));
        QCOMPARE(stuck->selectRequests(), 1);
        // Selecting the feeder then works; the flatbed is selected back later.
        stuck->setSelectError(std::nullopt);
        QVERIFY(rig.scan(request("u", ScanSource::feeder))->succeeded());
        QCOMPARE(stuck->scans().last().documentType, std::optional<PaperSize>(PaperSize::a4));
        QVERIFY(rig.scan(request("u", ScanSource::flatbed))->succeeded());
        QVERIFY(stuck->scans().last().scanArea.has_value());
        QCOMPARE(stuck->selectRequests(), 3);
    }

    void resolutionIsTheNearestOfferedWithTiesGoingDown() {
        Rig rig;
        auto device = rig.plugIn("s", "S");
        QTRY_COMPARE(rig.service->devices().size(), 1);
        const QList<std::tuple<QList<int>, int, std::optional<int>>> cases{
            {{100, 300, 600}, 300, 300}, {{400, 200}, 300, 200}, {{}, 300, std::nullopt}};
        for (const auto& [offered, wanted, chosen] : cases) {
            device->setUnits({{Type::flatbed, offered, QSizeF(8.5, 11.7), false}});
            QVERIFY(rig.scan(request("s", ScanSource::flatbed, wanted))->succeeded());
            QCOMPARE(Rig::lastConfiguration(*device).resolution, chosen);
        }
    }

    void configurationFollowsTheRequestAndTheUnit() {
        Rig rig;
        auto device = rig.plugIn("s", "S");
        device->setUnits({{Type::flatbed, {300}, QSizeF(8.5, 11.69), false},
                          {Type::documentFeeder, {300}, QSizeF(), false}});
        auto duplex = rig.plugIn("d", "D");
        duplex->setUnits({{Type::documentFeeder, {300}, QSizeF(), true}});
        auto unknownSize = rig.plugIn("u", "U");
        unknownSize->setUnits({{Type::flatbed, {300}, QSizeF(), false}});
        QTRY_COMPARE(rig.service->devices().size(), 3);

        // Flatbed: the paper, cut down to the glass; of unknown size, the whole paper.
        QVERIFY(rig.scan(request("s", ScanSource::flatbed, 300, PaperSize::legal))->succeeded());
        QCOMPARE(Rig::lastConfiguration(*device).scanArea,
                 std::optional<QRectF>(QRectF(0, 0, 8.5, 11.69)));
        QVERIFY(rig.scan(request("u", ScanSource::flatbed, 300, PaperSize::letter,
                                 ColourMode::blackAndWhite))
                    ->succeeded());
        ScanConfiguration c = Rig::lastConfiguration(*unknownSize);
        QCOMPARE(c.scanArea, std::optional<QRectF>(QRectF(0, 0, 8.5, 11.0)));
        QCOMPARE(c.pixelType, ScanConfiguration::PixelType::blackAndWhite);
        QCOMPARE(c.bitDepth, 1);

        // Feeder: the document type and no scan area; duplex only where supported.
        QVERIFY(
            rig.scan(request("s", ScanSource::feederDuplex, 300, PaperSize::letter))->succeeded());
        c = Rig::lastConfiguration(*device);
        QCOMPARE(c.documentType, std::optional<PaperSize>(PaperSize::letter));
        QCOMPARE(c.scanArea, std::optional<QRectF>());
        QVERIFY(!c.duplexScanningEnabled);

        QVERIFY(rig.scan(request("d", ScanSource::feederDuplex))->succeeded());
        QVERIFY(Rig::lastConfiguration(*duplex).duplexScanningEnabled);
        QVERIFY(rig.scan(request("d", ScanSource::feeder))->succeeded());
        QVERIFY(!Rig::lastConfiguration(*duplex).duplexScanningEnabled);
    }

    void pagesArriveInOrderAndEndingsFollowTheRules() {
        Rig rig;
        auto device = rig.plugIn("s", "S");
        QTRY_COMPARE(rig.service->devices().size(), 1);
        QList<int> counts;
        bool countsOnGuiThread = true;
        rig.service->setOnPageScanned([&](int count) {
            counts.append(count);
            countsOnGuiThread = countsOnGuiThread &&
                                QThread::currentThread() == QCoreApplication::instance()->thread();
        });

        // No page and no error: success with nothing.
        device->setScanSteps({Step::complete()});
        auto nothing = rig.scan(request("s"));
        QVERIFY(nothing->succeeded());
        QVERIFY(nothing->urls().isEmpty());

        // The page count is announced later, never inside the device's report.
        counts.clear();
        device->setScanSteps({Step::hold()});
        auto held = startScan(*rig.service, request("s"), rig.folder());
        QTRY_COMPARE(device->scans().size(), 2);
        device->writePage();
        QVERIFY(counts.isEmpty());
        QTRY_COMPARE(counts, QList<int>({1}));
        QVERIFY(countsOnGuiThread);
        Q_EMIT device->scanCompleted(std::nullopt);
        QTRY_COMPARE(held->calls, 1);

        // A page file already taken away (as the page cache takes them) never
        // lends its name to a later page of the same scan.
        QSignalSpy taken(rig.service.get(), &ScannerService::pageScanned);
        device->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        auto reused = startScan(*rig.service, request("s"), rig.folder());
        QTRY_COMPARE(taken.size(), 1);
        QVERIFY(QFile::remove(taken.at(0).at(0).toUrl().toLocalFile()));
        device->resume();
        QTRY_COMPARE(reused->calls, 1);
        QCOMPARE(reused->urls().size(), 2);
        QVERIFY(reused->urls().at(0) != reused->urls().at(1));
    }

    void removalDuringAScanEndsItAndLaterReportsAreIgnored() {
        Rig rig;
        auto scanning = rig.plugIn("a", "A");
        auto earlier = rig.plugIn("b", "B");
        auto neverUsed = rig.plugIn("c", "C");
        QTRY_COMPARE(rig.service->devices().size(), 3);
        int pageCalls = 0;
        rig.service->setOnPageScanned([&](int) { ++pageCalls; });

        // The scanning device is unplugged after one page.
        scanning->setScanSteps({Step::page(), Step::hold(), Step::page(), Step::complete()});
        auto outcome = startScan(*rig.service, request("a"), rig.folder());
        QTRY_COMPARE(pageCalls, 1);
        rig.browser->unplug(scanning);
        QCOMPARE(outcome->calls, 0); // the completion is always asynchronous
        QVERIFY(!rig.service->isScanning());
        QTRY_COMPARE(outcome->calls, 1);
        QCOMPARE(outcome->failureText(), disconnected);
        // The page delivered before the scanner went away travels with the failure.
        QCOMPARE(outcome->result->failure().deliveredPages().size(), 1);
        QVERIFY(QFileInfo::exists(outcome->result->failure().deliveredPages()[0].toLocalFile()));
        scanning->resume();
        QTest::qWait(50);
        QCOMPARE(outcome->calls, 1);
        QCOMPARE(pageCalls, 1);
        QTRY_COMPARE(names(rig.service->devices()), QStringList({"B", "C"}));

        // Unplugging a scanner never used for scanning changes nothing.
        QVERIFY(rig.scan(request("b"))->succeeded()); // b has now been scanned with
        earlier->setScanSteps({Step::page(), Step::hold(), Step::complete()});
        auto second = startScan(*rig.service, request("b"), rig.folder());
        QTRY_COMPARE(pageCalls, 3);
        rig.browser->unplug(neverUsed);
        QTest::qWait(20);
        QCOMPARE(second->calls, 0);
        earlier->resume();
        QTRY_COMPARE(second->calls, 1);
        QVERIFY(second->succeeded());

        // Unplugging a scanner used earlier ends a scan on another one.
        auto other = rig.plugIn("d", "D");
        QTRY_COMPARE(rig.service->devices().size(), 2);
        other->setScanSteps({Step::hold(), Step::complete()});
        auto third = startScan(*rig.service, request("d"), rig.folder());
        QTRY_COMPARE(other->scans().size(), 1);
        rig.browser->unplug(earlier);
        QTRY_COMPARE(third->calls, 1);
        QCOMPARE(third->failureText(), disconnected);
        QVERIFY(third->result->failure().deliveredPages().isEmpty());
        other->resume();
        QTest::qWait(20);
        QCOMPARE(third->calls, 1);
    }

    void completionStillArrivesWhenTheServiceIsGone() {
        auto outcome = std::make_shared<Outcome>();
        {
            Rig rig;
            auto device = rig.plugIn("s", "S");
            QTRY_COMPARE(rig.service->devices().size(), 1);
            device->setScanSteps({Step::page(), Step::hold()});
            outcome = startScan(*rig.service, request("s"), rig.folder());
            QTRY_COMPARE(device->scans().size(), 1);
            QTest::qWait(20);
            rig.browser->unplug(device);
        }
        QTRY_COMPARE(outcome->calls, 1);
        QCOMPARE(outcome->failureText(), disconnected);
    }
};

QTEST_GUILESS_MAIN(ScannerServiceTest)
#include "tst_ScannerService.moc"
