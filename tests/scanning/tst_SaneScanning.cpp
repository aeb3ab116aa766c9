// The scanner service on real SANE, against the "test" backend's virtual
// devices (the test environment points SANE_CONFIG_DIR at a configuration
// that loads only that backend).
#include "scanning/ScannerService.h"
#include "scanning/sane/SaneDevice.h"
#include "scanning/sane/SaneDeviceBrowser.h"
#include "scanning/sane/SaneThread.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace {

constexpr int scanTimeout = 120000;

// The test backend cancels its reader thread asynchronously, which can leave
// the C library's allocator locked if the thread is writing or finishing at
// that moment. Scans that end by cancelling (errors, stalls, shutting down)
// therefore use pages small enough (197 x 197 pixels of grey, 38 KiB) to
// fit in the pipe behind the reader, which has then long finished.
constexpr int smallDpi = 25;

struct PngHeader {
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = -1;
    // Pixels per metre from the pHYs chunk; 0 when there is none.
    quint32 pixelsPerMetre = 0;
};

PngHeader pngHeader(const QUrl& url) {
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray png = file.readAll();
    if (!png.startsWith("\x89PNG") || png.size() < 33) {
        return {};
    }
    PngHeader header;
    header.width = static_cast<int>(qFromBigEndian<quint32>(png.constData() + 16));
    header.height = static_cast<int>(qFromBigEndian<quint32>(png.constData() + 20));
    header.bitDepth = static_cast<uchar>(png.at(24));
    header.colourType = static_cast<uchar>(png.at(25));
    const qsizetype phys = png.indexOf("pHYs");
    if (phys > 0) {
        header.pixelsPerMetre = qFromBigEndian<quint32>(png.constData() + phys + 4);
    }
    return header;
}

struct Outcome {
    int calls = 0;
    std::optional<ScannerService::ScanResult> result;
    QList<QUrl> urls() const { return result && result->ok() ? result->value() : QList<QUrl>{}; }
    QString failureText() const {
        return result && !result->ok() ? result->failure().description() : QString();
    }
};

// A service over the SANE browser, browsing, with the test devices found.
struct Rig {
    std::unique_ptr<ScannerService> service;
    QTemporaryDir dir;
    int scans = 0;

    explicit Rig(SaneSettings settings = {}) {
        service = std::make_unique<ScannerService>(
            std::make_unique<SaneDeviceBrowser>(std::move(settings)));
        service->startBrowsing();
    }
    bool ready() {
        return QTest::qWaitFor([this] { return service->devices().size() == 2; }, scanTimeout);
    }
    QUrl folder() const { return QUrl::fromLocalFile(dir.filePath(QStringLiteral("session"))); }

    std::shared_ptr<Outcome> start(ScanSource source, ColourMode colour, int dpi,
                                   PaperSize paper = PaperSize::a4) {
        auto outcome = std::make_shared<Outcome>();
        // Each scan gets its own folder so that counting files is easy.
        const QUrl into = QUrl::fromLocalFile(dir.filePath(QStringLiteral("scan%1").arg(++scans)));
        service->scan({QStringLiteral("test:0"), source, colour, paper, dpi}, into,
                      [outcome](const ScannerService::ScanResult& result) {
                          ++outcome->calls;
                          outcome->result = result;
                      });
        return outcome;
    }
    std::shared_ptr<Outcome> scan(ScanSource source, ColourMode colour, int dpi,
                                  PaperSize paper = PaperSize::a4) {
        auto outcome = start(source, colour, dpi, paper);
        if (!QTest::qWaitFor([&] { return outcome->calls > 0; }, scanTimeout)) {
            qWarning("the scan did not complete");
        }
        return outcome;
    }
};

QImage onlyPage(const Outcome& outcome) {
    return outcome.urls().size() == 1 ? QImage(outcome.urls().first().toLocalFile()) : QImage();
}

SaneSettings withOptions(QList<std::pair<QByteArray, QByteArray>> options) {
    SaneSettings settings;
    settings.extraOptions = std::move(options);
    return settings;
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
        const auto colour = rig.scan(ScanSource::flatbed, ColourMode::colour, 300);
        QCOMPARE(colour->failureText(), QString());
        QCOMPARE(colour->urls().size(), 1);
        PngHeader header = pngHeader(colour->urls().first());
        QCOMPARE(header.width, 2362);
        QCOMPARE(header.height, 2362);
        QCOMPARE(header.colourType, 2); // RGB
        QCOMPARE(header.bitDepth, 8);
        QCOMPARE(header.pixelsPerMetre, 11811u);
        QCOMPARE(QImage(colour->urls().first().toLocalFile()).dotsPerMeterX(), 11811);
        QCOMPARE(QFileInfo(colour->urls().first().toLocalFile()).fileName(), QString("page-1.png"));

        // Smaller paper than the glass is scanned at its own size.
        const auto a5 = rig.scan(ScanSource::flatbed, ColourMode::greyscale, 100, PaperSize::a5);
        header = pngHeader(a5->urls().value(0));
        QCOMPARE(header.width, 582);    // 148 mm at 100 dpi
        QCOMPARE(header.height, 787);   // 200 of 210 mm
        QCOMPARE(header.colourType, 0); // grey
        QCOMPARE(header.bitDepth, 8);

        // Black and white is 1 bit per pixel, with black where grey is dark.
        const auto grey = rig.scan(ScanSource::flatbed, ColourMode::greyscale, 75);
        const auto mono = rig.scan(ScanSource::flatbed, ColourMode::blackAndWhite, 75);
        header = pngHeader(mono->urls().value(0));
        QCOMPARE(header.bitDepth, 1);
        QCOMPARE(header.pixelsPerMetre, 2953u);
        const QImage greyPage = onlyPage(*grey);
        const QImage monoPage = onlyPage(*mono);
        QVERIFY(!greyPage.isNull() && !monoPage.isNull());
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
        QCOMPARE(pngHeader(pages->urls().first()).height, 393); // 200 mm at 50 dpi

        // The test device has no duplex: both sides are asked for, one is scanned.
        const auto duplex = rig.scan(ScanSource::feederDuplex, ColourMode::greyscale, 50);
        QCOMPARE(duplex->urls().size(), 10);
    }

    void deviceErrorsEndTheScanWithTheirText() {
        {
            Rig rig(withOptions({{"read-return-value", "SANE_STATUS_JAMMED"}}));
            QVERIFY(rig.ready());
            const auto jammed = rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi);
            QCOMPARE(jammed->failureText(), QString("The paper is jammed in the document feeder."));
            QCOMPARE(jammed->result->failure().kind(), ScannerFailure::Kind::deviceError);
        }
        {
            // An input/output error from a device that still answers is not a
            // disconnection.
            Rig rig(withOptions({{"read-return-value", "SANE_STATUS_IO_ERROR"}}));
            QVERIFY(rig.ready());
            const auto failed = rig.scan(ScanSource::flatbed, ColourMode::greyscale, smallDpi);
            QCOMPARE(failed->failureText(), QString("The scanner reported an input/output error."));
            // The next scan opens the device afresh and fails the same way.
            QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, smallDpi)->failureText(),
                     QString("The scanner reported an input/output error."));
        }
        {
            Rig rig(withOptions({{"read-return-value", "SANE_STATUS_NO_DOCS"}}));
            QVERIFY(rig.ready());
            QCOMPARE(rig.scan(ScanSource::feeder, ColourMode::greyscale, smallDpi)->failureText(),
                     QString("The document feeder is empty."));
        }
    }

    void backendQuirksGiveTheSamePage() {
        const QList<std::pair<QByteArray, QByteArray>> pattern{{"test-picture", "Color pattern"}};
        QImage reference;
        QImage referenceGrey;
        {
            Rig rig(withOptions(pattern));
            QVERIFY(rig.ready());
            reference = onlyPage(*rig.scan(ScanSource::flatbed, ColourMode::colour, 60));
            referenceGrey = onlyPage(*rig.scan(ScanSource::flatbed, ColourMode::greyscale, 60));
        }
        QVERIFY(!reference.isNull() && !referenceGrey.isNull());
        const auto scanWith = [&](QList<std::pair<QByteArray, QByteArray>> options,
                                  ColourMode colour) {
            Rig rig(withOptions(pattern + options));
            return rig.ready() ? onlyPage(*rig.scan(ScanSource::flatbed, colour, 60)) : QImage();
        };
        const auto same = [](const QImage& a, const QImage& b) {
            return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) ==
                                               b.convertToFormat(QImage::Format_RGB32);
        };

        // Colour sent as three frames, in any order.
        QVERIFY(same(scanWith({{"three-pass", "yes"}}, ColourMode::colour), reference));
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
        const QList<std::pair<QByteArray, QByteArray>> grid{{"test-picture", "Grid"},
                                                            {"depth", "16"}};
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

    void aScannerThatStopsAnsweringIsReportedAsDisconnected() {
        SaneSettings settings = withOptions({{"read-limit", "yes"},
                                             {"read-limit-size", "1"},
                                             {"read-delay", "yes"},
                                             {"read-delay-duration", "200000"}});
        settings.stallTimeout = std::chrono::milliseconds(150);
        {
            Rig rig(settings);
            QVERIFY(rig.ready());
            // Colour, so the frame is larger than the pipe behind the backend's
            // reader and the first read waits for the (delayed) reader.
            const auto stalled = rig.scan(ScanSource::flatbed, ColourMode::colour, smallDpi);
            QCOMPARE(stalled->failureText(),
                     QString("The scanner was disconnected during the scan."));
            QVERIFY(!rig.service->isScanning());
        }
        // SANE was shut down with the last service; it starts again for the next.
        Rig rig;
        QVERIFY(rig.ready());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
    }

    void shuttingDownDuringAScanStopsItCleanly() {
        SaneSettings slow = withOptions({{"read-delay", "yes"}, {"read-delay-duration", "200000"}});
        {
            Rig rig(slow);
            QVERIFY(rig.ready());
            auto outcome = rig.start(ScanSource::feeder, ColourMode::greyscale, smallDpi);
            QTest::qWait(500);
            QVERIFY(rig.service->isScanning());
        } // the service, its devices and SANE go here, mid-scan
        Rig rig;
        QVERIFY(rig.ready());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);
    }

    void openingADeviceThatIsGoneFails() {
        auto thread = SaneThread::shared();
        auto device = std::make_shared<SaneDevice>(
            thread, SaneDeviceEntry{"test:7", "Noname", "gone", "virtual device"},
            std::make_shared<const SaneSettings>());
        QSignalSpy opened(device.get(), &ScannerDevice::sessionOpened);
        device->requestOpenSession();
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, scanTimeout);
        QCOMPARE(opened.at(0).at(0).value<std::optional<QString>>(),
                 std::optional<QString>("The scanner is no longer available."));
        QVERIFY(!device->hasOpenSession());
    }
};

QTEST_GUILESS_MAIN(SaneScanningTest)
#include "tst_SaneScanning.moc"
