// The scanner service on real SANE through the scanner worker process,
// against the "test" backend's virtual devices (the test environment points
// SANE_CONFIG_DIR at a configuration that loads only that backend).
#include "ScanRig.h"

#include "scanning/ScannerService.h"
#include "scanning/worker/ScannerWorkerClient.h"
#include "scanning/worker/WorkerScannerBrowser.h"
#include "scanning/worker/WorkerScannerDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/types.h>

namespace {

constexpr int smallDpi = 25;

const QString disconnected = QStringLiteral("The scanner was disconnected during the scan.");
// The names pages are delivered under.
const QRegularExpression ownPageName(QStringLiteral("^scan_[0-9A-F-]{36}\\.png$"));
const QString notResponding = QStringLiteral(
    "The scanner is not responding. Switch it off and on again, then press Refresh.");

bool processExists(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    // A zombie waiting to be reaped is gone as far as anyone can tell.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) != "Z";
}

// Every page of a failed or cancelled scan: complete PNG files.
bool allReadable(const QList<QUrl>& pages) {
    for (const QUrl& page : pages) {
        if (QImage(page.toLocalFile()).isNull()) {
            return false;
        }
    }
    return true;
}

} // namespace

class SaneScanningTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void discoveryListsTheTestDevicesAndRefreshKeepsThem() {
        Rig rig;
        QVERIFY(rig.ready());
        const QList<ScannerDeviceInfo> found = rig.service->devices();
        // Both test devices have the same name, so each shows its identifier.
        QCOMPARE(found.at(0), (ScannerDeviceInfo{"test:0", "Noname frontend-tester (test:0)"}));
        QCOMPARE(found.at(1), (ScannerDeviceInfo{"test:1", "Noname frontend-tester (test:1)"}));

        QSignalSpy published(rig.service.get(), &ScannerService::devicesChanged);
        rig.service->refresh();
        // A refresh reports both devices afresh and then republishes.
        QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 3, scanTimeout);
        QCOMPARE(rig.service->devices().size(), 2);
        QTest::qWait(100);
        QCOMPARE(rig.service->devices().size(), 2);
    }

    void flatbedPagesHaveTheRequestedFormatAndResolution() {
        Rig rig(withOptions({{"test-picture", "Grid"}}));
        QVERIFY(rig.ready());

        // A4 at 300 dpi, cut to the test device's 200 mm glass.
        const auto colour = rig.scanPatiently(ScanSource::flatbed, ColourMode::colour, 300);
        QCOMPARE(colour->failureText(), QString());
        const QImage page = onlyPage(*colour);
        QCOMPARE(page.size(), QSize(2362, 2362));
        QCOMPARE(page.format(), QImage::Format_RGB32); // 8-bit RGB
        QCOMPARE(page.dotsPerMeterX(), 11811);
        // Delivered under a name of the application's own.
        QVERIFY(ownPageName.match(colour->urls().first().fileName()).hasMatch());

        // Smaller paper than the glass is scanned at its own size.
        const QImage a5 = onlyPage(
            *rig.scanPatiently(ScanSource::flatbed, ColourMode::greyscale, 100, PaperSize::a5));
        QCOMPARE(a5.size(), QSize(582, 787)); // 148 by 200 of 210 mm at 100 dpi
        QCOMPARE(a5.format(), QImage::Format_Grayscale8);

        // Black and white is 1 bit per pixel, with black where grey is dark.
        const QImage greyPage =
            onlyPage(*rig.scanPatiently(ScanSource::flatbed, ColourMode::greyscale, 75));
        const QImage monoPage =
            onlyPage(*rig.scanPatiently(ScanSource::flatbed, ColourMode::blackAndWhite, 75));
        QCOMPARE(monoPage.depth(), 1);
        QCOMPARE(monoPage.dotsPerMeterX(), 2953);
        QVERIFY(!greyPage.isNull());
        QCOMPARE(monoPage.size(), greyPage.size());
        int black = 0;
        for (int y = 0; y < greyPage.height(); y += 3) {
            for (int x = 0; x < greyPage.width(); x += 3) {
                const bool dark = qGray(greyPage.pixel(x, y)) < 128;
                QCOMPARE(monoPage.pixel(x, y) == qRgb(0, 0, 0), dark);
                black += dark ? 1 : 0;
            }
        }
        QVERIFY(black > 0); // the grid has both colours
        QVERIFY(!rig.service->isScanning());
    }

    void feederScansEverySheetUntilItIsEmpty() {
        Rig rig;
        QVERIFY(rig.ready());
        QList<int> counts;
        rig.service->setOnPageScanned([&](int count) { counts.append(count); });

        const auto pages = rig.scan(ScanSource::feeder, ColourMode::greyscale, 50);
        QCOMPARE(pages->failureText(), QString());
        QCOMPARE(pages->urls().size(), 10);
        QSet<QString> files;
        for (const QUrl& url : pages->urls()) {
            QVERIFY(QFile::exists(url.toLocalFile()));
            files.insert(url.toLocalFile());
        }
        QCOMPARE(files.size(), 10);
        QTRY_COMPARE(counts.size(), 10);
        QCOMPARE(counts.first(), 1);
        QCOMPARE(counts.last(), 10);
        QCOMPARE(QImage(pages->urls().first().toLocalFile()).height(), 393); // 200 mm at 50 dpi

        // The test device has no duplex: both sides are asked for, one is scanned.
        const auto duplex = rig.scan(ScanSource::feederDuplex, ColourMode::greyscale, 50);
        QCOMPARE(duplex->urls().size(), 10);
    }

    void deviceErrorsAtTheFirstAndALaterSheet() {
        const QList<std::pair<QByteArray, QString>> errors = {
            {"SANE_STATUS_JAMMED", "The paper is jammed in the document feeder."},
            {"SANE_STATUS_IO_ERROR", "The scanner reported an input/output error."},
            {"SANE_STATUS_COVER_OPEN", "The scanner cover is open."},
        };
        // Each error at a later sheet; at the first one, aJammingFeederNeverHangs.
        const int sheet = 3;
        for (const auto& [status, text] : errors) {
            // SANE's test backend now and then hangs in its reader thread
            // after an error; the watchdog then ends the scan as not
            // responding (tested on its own below). Such a run says nothing
            // about how errors are reported: it is tried again.
            for (int attempt = 1;; ++attempt) {
                Rig rig(withOptions({{"read-return-value", status, sheet}}));
                QVERIFY2(rig.ready(), status);
                const auto outcome = rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi);
                QVERIFY2(outcome->result && !outcome->result->ok(), status);
                const ScannerFailure& failure = outcome->result->failure();
                if (failure.description() == notResponding && attempt < 3) {
                    continue;
                }
                QCOMPARE(failure.description(), text);
                QCOMPARE(failure.kind(), ScannerFailure::Kind::deviceError);
                // The sheets before the failing one are kept, complete.
                QCOMPARE(failure.deliveredPages().size(), sheet - 1);
                QVERIFY(allReadable(failure.deliveredPages()));
                QCOMPARE(rig.announced, failure.deliveredPages());
                QCOMPARE(rig.filesOfLastScan().size(), sheet - 1);
                break;
            }
        }
        {
            // An empty feeder at the start is an error; after some sheets it
            // is the normal end of the run.
            Rig rig(withOptions({{"read-return-value", "SANE_STATUS_NO_DOCS"}}));
            QVERIFY(rig.ready());
            QCOMPARE(rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi)->failureText(),
                     QString("The document feeder is empty."));
        }
        // A worker starved of time on a busy machine may be taken for one
        // that stopped answering; that case has its own test.
        for (int attempt = 1;; ++attempt) {
            Rig rig(withOptions({{"read-return-value", "SANE_STATUS_NO_DOCS", 4}}));
            QVERIFY(rig.ready());
            const auto three = rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi);
            if (three->failureText() == notResponding && attempt < 3) {
                continue;
            }
            QCOMPARE(three->failureText(), QString());
            QCOMPARE(three->urls().size(), 3);
            break;
        }
    }

    void aJammingFeederNeverHangs() {
        // Jams at the first and at the second sheet, over and over.
        Rig later(withOptions(
            {{"read-return-value", "Default", 1}, {"read-return-value", "SANE_STATUS_JAMMED", 2}}));
        Rig first(withOptions({{"read-return-value", "SANE_STATUS_JAMMED", 1}}));
        QVERIFY(later.ready() && first.ready());
        for (int i = 0; i < 30; ++i) {
            Rig& rig = i % 2 ? first : later;
            const auto outcome = rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi);
            QVERIFY2(outcome->calls == 1, QByteArray::number(i));
            QCOMPARE(outcome->failureText(),
                     QString("The paper is jammed in the document feeder."));
            QCOMPARE(outcome->result->failure().deliveredPages().size(), i % 2 ? 0 : 1);
        }
    }

    void aWorkerKilledMidScanCostsOnlyThatScan() {
        Rig rig(withOptions(slowAfterFirstSheet));
        QVERIFY(rig.ready());
        const auto outcome = rig.startSlowFeederRun();
        const qint64 pid = rig.workerPid();
        QVERIFY(outcome && pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QVERIFY(rig.finished(outcome));
        QCOMPARE(outcome->failureText(), disconnected);
        QCOMPARE(outcome->result->failure().deliveredPages(), rig.announced);
        QVERIFY(allReadable(rig.announced));
        // Nothing half-written is left behind.
        QCOMPARE(rig.filesOfLastScan(), QStringList{rig.announced.first().fileName()});
        QVERIFY(!rig.service->isScanning());

        // A new worker takes over: listing and scanning work again.
        rig.service->refresh();
        QVERIFY(rig.ready());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
        QVERIFY(rig.workerPid() != pid);
    }

    void theWatchdogReplacesAWorkerThatStopsAnswering() {
        Rig rig(withOptions(slowAfterFirstSheet));
        QVERIFY(rig.ready());
        const auto outcome = rig.startSlowFeederRun();
        const qint64 pid = rig.workerPid();
        QVERIFY(outcome && pid > 0);
        rig.browser->worker().setStallLimit(std::chrono::milliseconds(500));
        QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
        QVERIFY(rig.finished(outcome));
        QCOMPARE(outcome->failureText(), notResponding);
        QCOMPARE(outcome->result->failure().deliveredPages(), rig.announced);
        QTRY_VERIFY_WITH_TIMEOUT(!processExists(pid), scanTimeout);

        rig.browser->worker().setStallLimit(std::chrono::seconds(60));
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
    }

    void cancellingAFeederRunKeepsItsCompletePages() {
        Rig rig(withOptions(slowAfterFirstSheet));
        QVERIFY(rig.ready());
        // Nothing to cancel.
        rig.service->cancel();
        const auto outcome = rig.start(ScanSource::feeder, ColourMode::greyscale, 50);
        QTRY_COMPARE_WITH_TIMEOUT(rig.announced.size(), 1, scanTimeout);
        const qint64 pid = rig.workerPid();
        rig.service->cancel();
        rig.service->cancel();
        QVERIFY(rig.finished(outcome));
        QCOMPARE(outcome->calls, 1);
        QVERIFY(outcome->result && !outcome->result->ok());
        QCOMPARE(outcome->result->failure().kind(), ScannerFailure::Kind::cancelled);
        QCOMPARE(outcome->result->failure().deliveredPages(), rig.announced);
        QCOMPARE(rig.filesOfLastScan(), QStringList{rig.announced.first().fileName()});
        // The worker stopped the scan itself and goes on serving.
        QCOMPARE(rig.workerPid(), pid);
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);

        // A worker that does not end a cancelled scan in time is replaced;
        // the scan still ends as cancelled, with its pages.
        {
            WorkerSettings settings = withOptions(slowAfterFirstSheet);
            settings.cancelLimit = std::chrono::milliseconds(500);
            Rig stuck(settings);
            QVERIFY(stuck.ready());
            const auto outcome = stuck.start(ScanSource::feeder, ColourMode::greyscale, 50);
            QTRY_COMPARE_WITH_TIMEOUT(stuck.announced.size(), 1, scanTimeout);
            const qint64 stopped = stuck.workerPid();
            QCOMPARE(::kill(pid_t(stopped), SIGSTOP), 0);
            stuck.service->cancel();
            QVERIFY(stuck.finished(outcome));
            QCOMPARE(outcome->result->failure().kind(), ScannerFailure::Kind::cancelled);
            QCOMPARE(outcome->result->failure().deliveredPages(), stuck.announced);
            QTRY_VERIFY_WITH_TIMEOUT(!processExists(stopped), scanTimeout);
        }

        // Cancelled before the device is even opened: nothing is scanned.
        const auto early = rig.start(ScanSource::flatbed, ColourMode::greyscale, 50);
        rig.service->cancel();
        QVERIFY(rig.finished(early));
        QCOMPARE(early->result->failure().kind(), ScannerFailure::Kind::cancelled);
        QVERIFY(early->result->failure().deliveredPages().isEmpty());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
    }

    void backendQuirksGiveTheSamePage() {
        const QList<BackendOption> pattern{{"test-picture", "Color pattern"}};
        QImage reference;
        QImage referenceGrey;
        {
            Rig rig(withOptions(pattern));
            QVERIFY(rig.ready());
            reference = onlyPage(*rig.scan(ScanSource::flatbed, ColourMode::colour, 60));
            referenceGrey = onlyPage(*rig.scan(ScanSource::flatbed, ColourMode::greyscale, 60));
        }
        QVERIFY(!reference.isNull() && !referenceGrey.isNull());
        const auto scanWith = [&](QList<BackendOption> options, ColourMode colour) {
            Rig rig(withOptions(pattern + options));
            return rig.ready() ? onlyPage(*rig.scan(ScanSource::flatbed, colour, 60)) : QImage();
        };
        const auto same = [](const QImage& a, const QImage& b) {
            return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) ==
                                               b.convertToFormat(QImage::Format_RGB32);
        };

        // Colour sent as three frames, in an order other than their own.
        QVERIFY(
            same(scanWith({{"three-pass", "yes"}, {"three-pass-order", "BGR"}}, ColourMode::colour),
                 reference));

        // 16-bit samples: a black and white grid comes out as at 8 bits. (The
        // byte order itself is checked with made-up data in tst_saneparts.)
        QImage gridReference;
        {
            Rig rig(withOptions({{"test-picture", "Grid"}}));
            QVERIFY(rig.ready());
            gridReference = onlyPage(*rig.scan(ScanSource::flatbed, ColourMode::colour, 60));
        }
        const QList<BackendOption> grid{{"test-picture", "Grid"}, {"depth", "16"}};
        QVERIFY(same(scanWith(grid, ColourMode::colour), gridReference));
        QCOMPARE(scanWith({{"depth", "16"}}, ColourMode::greyscale).size(), referenceGrey.size());

        // Rows padded beyond their pixels.
        const QImage padded = scanWith({{"ppl-loss", "5"}}, ColourMode::colour);
        QCOMPARE(padded.width(), reference.width() - 5);
        QCOMPARE(padded.height(), reference.height());
        const QImage paddedMono = scanWith({{"ppl-loss", "9"}}, ColourMode::blackAndWhite);
        QCOMPARE(paddedMono.width(), reference.width() - 9);
        QCOMPARE(paddedMono.depth(), 1);

        // A hand-held scanner that does not know the height in advance
        // (110 by 170 mm at 60 dpi).
        const QImage hand = scanWith({{"hand-scanner", "yes"}}, ColourMode::greyscale);
        QCOMPARE(hand.size(), QSize(259, 401));
    }

    void shuttingDownDuringAScanStopsItCleanly() {
        qint64 pid = -1;
        {
            Rig rig(withOptions(slowAfterFirstSheet));
            QVERIFY(rig.ready());
            auto outcome = rig.start(ScanSource::feeder, ColourMode::greyscale, 50);
            QTRY_COMPARE_WITH_TIMEOUT(rig.announced.size(), 1, scanTimeout);
            QVERIFY(rig.service->isScanning());
            pid = rig.workerPid();
        } // the service, its devices and the worker go here, mid-scan
        QVERIFY(!processExists(pid));
        Rig rig;
        QVERIFY(rig.ready());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
    }

    void openingADeviceThatIsGoneFails() {
        auto worker = std::make_shared<ScannerWorkerClient>(WorkerSettings::defaults());
        WorkerScannerDevice device(worker, SaneDeviceEntry{"test:7", "Noname", "gone", "virtual"});
        QSignalSpy opened(&device, &ScannerDevice::sessionOpened);
        device.requestOpenSession();
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, scanTimeout);
        QCOMPARE(opened.at(0).at(0).value<std::optional<QString>>(),
                 std::optional<QString>("The scanner is no longer available."));
        QVERIFY(!device.hasOpenSession());
    }

    void aMissingOrBrokenWorkerMeansNoScanners() {
        QTemporaryDir dir;
        const auto script = [&](const QString& name, const QByteArray& body) {
            const QString path = dir.filePath(name);
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("#!/bin/sh\n" + body + "\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            return path;
        };
        const QString plainFile = dir.filePath("plain");
        QFile(plainFile).open(QIODevice::WriteOnly);
        for (const QString& path : {dir.filePath("missing"), plainFile}) {
            WorkerSettings settings = WorkerSettings::defaults();
            settings.workerPath = path;
            Rig rig(settings);
            QSignalSpy published(rig.service.get(), &ScannerService::devicesChanged);
            QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 1, scanTimeout);
            QVERIFY(rig.service->devices().isEmpty());
            QCOMPARE(rig.service->problem(),
                     QString("Scanners cannot be used: the helper program " + path +
                             " is missing or cannot be run. Reinstall Paperlark."));
            QCOMPARE(
                rig.scan(ScanSource::flatbed, ColourMode::colour, 100)->result->failure().kind(),
                ScannerFailure::Kind::noDevice);
        }

        // A worker that answers with garbage, or stops in the middle of a
        // message, is dropped: the listing finds nothing and the process is
        // gone.
        const QList<QByteArray> answers = {
            "printf 'this is not the protocol'; exec sleep 600",
            "printf '\\000\\000\\000\\011\\000\\001\\000\\145\\001'; exit 0",
            "printf '\\000\\000\\000\\005\\000\\001\\000\\145\\001'; "
            "printf '\\000\\000\\000\\004\\000\\001\\000\\077'; exec sleep 600",
        };
        for (const QByteArray& answer : answers) {
            WorkerSettings settings = WorkerSettings::defaults();
            settings.workerPath = script(QStringLiteral("worker"), answer);
            Rig rig(settings);
            QSignalSpy published(rig.service.get(), &ScannerService::devicesChanged);
            QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 1, scanTimeout);
            QVERIFY2(rig.service->devices().isEmpty(), answer);
            QTRY_VERIFY2_WITH_TIMEOUT(!rig.browser->worker().processId(), answer, scanTimeout);
            QCOMPARE(rig.service->problem(), std::nullopt);
        }
    }

    void theWorkerEndsWithItsInputOrOnGarbage() {
        const QString worker = WorkerSettings::defaults().workerPath;
        QProcess ended;
        ended.start(worker, {});
        QVERIFY(ended.waitForStarted());
        ended.closeWriteChannel();
        QVERIFY(ended.waitForFinished(scanTimeout));
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);

        QProcess fed;
        fed.start(worker, {});
        QVERIFY(fed.waitForStarted());
        fed.write(QByteArray("\0\0\0\6\0\1\0\77xx", 10));
        QVERIFY(fed.waitForFinished(scanTimeout));
        QCOMPARE(fed.exitCode(), 2);

        // It also ends when its parent does, even one that is killed.
        QProcess parent;
        parent.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec 3<&0; \"$0\" --parent $$ <&3 & echo $!; exec sleep 600"),
                      worker});
        QVERIFY(parent.waitForReadyRead(scanTimeout));
        const qint64 child = parent.readLine().trimmed().toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(processExists(child), scanTimeout);
        parent.kill();
        QVERIFY(parent.waitForFinished(scanTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(!processExists(child), scanTimeout);
    }
};

QTEST_GUILESS_MAIN(SaneScanningTest)
#include "tst_SaneScanning.moc"
