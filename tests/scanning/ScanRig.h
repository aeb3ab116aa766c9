#pragma once

// The scanner service on real SANE through the scanner worker process, and
// the outcomes of its scans: what the tests that scan through SANE share.
#include "scanning/ScannerService.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

// Only a hang ever takes this long.
constexpr int scanTimeout = 120000;

// From the second sheet on, each page is large and arrives slowly (about a
// minute), with data flowing all the time: a scan that is surely still
// running when a test acts on it, without being stalled.
// (The test backend keeps option values from one scan to the next, so
// options meant for later sheets are put back for the first.)
inline const QList<BackendOption> slowAfterFirstSheet = {{"read-delay", "no", 1},
                                                         {"read-delay", "yes", 2},
                                                         {"read-delay-duration", "200000", 2},
                                                         {"resolution", "600", 2}};

inline WorkerSettings withOptions(QList<BackendOption> options) {
    WorkerSettings settings = WorkerSettings::defaults();
    settings.options = std::move(options);
    return settings;
}

struct Outcome {
    int calls = 0;
    std::optional<ScannerService::ScanResult> result;
    QList<QUrl> urls() const { return result && result->ok() ? result->value() : QList<QUrl>{}; }
    QString failureText() const {
        return result && !result->ok() ? result->failure().description() : QString();
    }
};

// The page of a scan that delivered exactly one.
inline QImage onlyPage(const Outcome& outcome) {
    return outcome.urls().size() == 1 ? QImage(outcome.urls().first().toLocalFile()) : QImage();
}

// A service over the worker browser, browsing.
struct Rig {
    WorkerScannerBrowser* browser = nullptr;
    std::unique_ptr<ScannerService> service;
    QTemporaryDir dir;
    int scans = 0;
    // The pages of the latest scan, as they arrived.
    QList<QUrl> announced;
    // The scanner the scans use, and how many scanners ready() waits for.
    QString device = QStringLiteral("test:0");
    qsizetype scanners = 2;

    explicit Rig(WorkerSettings settings = WorkerSettings::defaults()) {
        auto owned = std::make_unique<WorkerScannerBrowser>(std::move(settings));
        browser = owned.get();
        service = std::make_unique<ScannerService>(std::move(owned));
        QObject::connect(service.get(), &ScannerService::pageScanned,
                         [this](const QUrl& file, int) { announced.append(file); });
        service->startBrowsing();
    }
    bool ready() {
        return QTest::qWaitFor([this] { return service->devices().size() == scanners; },
                               scanTimeout);
    }
    qint64 workerPid() const { return browser->worker().processId().value_or(-1); }

    std::shared_ptr<Outcome> start(ScanSource source, ColourMode colour, int dpi,
                                   PaperSize paper = PaperSize::a4) {
        auto outcome = std::make_shared<Outcome>();
        announced.clear();
        // Each scan gets its own folder so that counting files is easy.
        const QUrl into = QUrl::fromLocalFile(dir.filePath(QStringLiteral("scan%1").arg(++scans)));
        service->scan({device, source, colour, paper, dpi}, into,
                      [outcome](const ScannerService::ScanResult& result) {
                          ++outcome->calls;
                          outcome->result = result;
                      });
        return outcome;
    }
    bool finished(const std::shared_ptr<Outcome>& outcome) {
        return QTest::qWaitFor([&] { return outcome->calls > 0; }, scanTimeout);
    }
    std::shared_ptr<Outcome> scan(ScanSource source, ColourMode colour, int dpi,
                                  PaperSize paper = PaperSize::a4) {
        auto outcome = start(source, colour, dpi, paper);
        if (!finished(outcome)) {
            qWarning("the scan did not complete");
        }
        return outcome;
    }
    // A scan that should succeed. SANE's test backend now and then stops
    // answering in its reader thread, and a worker starved on a busy machine
    // looks the same; the watchdog then ends the scan as not responding
    // (tested on its own). Such a run says nothing about the pages: it is
    // tried again, twice at most.
    std::shared_ptr<Outcome> scanPatiently(ScanSource source, ColourMode colour, int dpi,
                                           PaperSize paper = PaperSize::a4) {
        for (int attempt = 1;; ++attempt) {
            auto outcome = scan(source, colour, dpi, paper);
            if (attempt == 3 ||
                outcome->failureText() !=
                    QStringLiteral("The scanner is not responding. Switch it off and on "
                                   "again, then press Refresh.")) {
                return outcome;
            }
        }
    }
    // A feeder run with slowAfterFirstSheet, once its first page is in.
    std::shared_ptr<Outcome> startSlowFeederRun() {
        auto outcome = start(ScanSource::feeder, ColourMode::greyscale, 50);
        const bool firstPage =
            QTest::qWaitFor([this] { return announced.size() == 1; }, scanTimeout);
        return firstPage ? outcome : nullptr;
    }
    // The files in the folder of the latest scan, hidden ones included.
    QStringList filesOfLastScan() const {
        return QDir(dir.filePath(QStringLiteral("scan%1").arg(scans)))
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};
