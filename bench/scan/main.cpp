// Scan benchmark: a 10-sheet feeder run at 300 dpi colour from SANE's test
// backend, through the scanner worker and the view model, against
// `scanimage --batch` of the same sheets.
//
//   bench_scan [WORK_FOLDER]
//
// Prints `target` lines: the run's wall time against scanimage's (goal: at
// most three times scanimage's plus the page import time), the longest stall
// of the GUI thread during and after the run (a heartbeat timer; goal 50 ms),
// and the time from the last sheet's last byte to its page being in the
// list (goal 300 ms).

#include "model/DesktopServices.h"
#include "model/ScannerViewModel.h"
#include "scanning/worker/WorkerScannerBrowser.h"
#include "scanning/worker/WorkerScannerDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int sheets = 10;
constexpr int dpi = 300;

class NoDesktop : public DesktopServices {
public:
    QList<QUrl> chooseImageFiles() override { return {}; }
    std::optional<QUrl> chooseFolder(const QUrl&) override { return std::nullopt; }
    bool confirmDiscardAllPages() override { return false; }
    bool confirmRestorePages(const QString&) override { return false; }
    bool confirmQuitDiscarding(int) override { return false; }
    void openUrl(const QUrl&) override {}
};

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void target(const QString& name, double measured, const QString& goal, bool met) {
    out() << "target " << name << ": " << QString::number(measured, 'f', 1) << " ms (goal " << goal
          << ") " << (met ? "met" : "missed") << "\n";
    out().flush();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QDir().mkpath(work);
    QTemporaryDir home(work + QStringLiteral("/home-XXXXXX"));
    qputenv("HOME", home.path().toLocal8Bit());

    // The yardstick: scanimage writing the same sheets.
    QTemporaryDir batch(work + QStringLiteral("/batch-XXXXXX"));
    QProcess scanimage;
    QElapsedTimer scanimageTime;
    scanimageTime.start();
    scanimage.start(QStringLiteral("scanimage"),
                    {"-d", "test", "--source", "Automatic Document Feeder", "--mode", "Color",
                     "--resolution", QString::number(dpi), "-x", "200", "-y", "200", "--format=png",
                     "--batch=" + batch.filePath("p%d.png")});
    if (!scanimage.waitForFinished(120000)) {
        out() << "target scan_time_vs_scanimage: not measured (scanimage unavailable) short\n";
        return 1;
    }
    const double scanimageMs = double(scanimageTime.nsecsElapsed()) / 1e6;

    auto browser = std::make_unique<WorkerScannerBrowser>();
    WorkerScannerBrowser* rawBrowser = browser.get();
    Clock::time_point lastByte{};
    QObject::connect(rawBrowser, &ScannerBrowser::deviceAdded, rawBrowser,
                     [&](const std::shared_ptr<ScannerDevice>& device) {
                         if (auto* sane = dynamic_cast<WorkerScannerDevice*>(device.get())) {
                             QObject::connect(
                                 sane, &WorkerScannerDevice::pageRead, sane,
                                 [&](const QUrl&, Clock::time_point at) { lastByte = at; });
                         }
                     });
    ScannerViewModel model(std::make_shared<NoDesktop>(), std::move(browser));
    QElapsedTimer waited;
    waited.start();
    while (model.devices().size() < 2 && waited.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    if (model.devices().isEmpty()) {
        out() << "target scan_time_vs_scanimage: not measured (no test scanner) short\n";
        return 1;
    }
    model.setSelectedDeviceID(QStringLiteral("test:0"));
    model.editSettings([](AppSettings& s) {
        s.source = ScanSource::feeder;
        s.colour = ColourMode::colour;
        s.paper = PaperSize::a4;
        s.dpi = dpi;
    });

    // The GUI thread's heartbeat: the longest gap between two beats.
    double longestStall = 0;
    auto lastBeat = Clock::now();
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStall = std::max(longestStall, msBetween(lastBeat, now));
        lastBeat = now;
    });
    Clock::time_point allIn{};
    QObject::connect(&model, &ScannerViewModel::pagesChanged, [&] {
        if (model.pages().size() == sheets) {
            allIn = Clock::now();
        }
    });

    heartbeat.start();
    lastBeat = Clock::now();
    const auto started = Clock::now();
    model.scan();
    while (model.busy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const auto ended = Clock::now();
    // A second of quiet after the run: nothing heavy may be left for the GUI.
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    heartbeat.stop();

    const double runMs = msBetween(started, ended);
    out() << "scan: " << model.pages().size() << " page(s), status \"" << model.status()
          << "\"; scanimage --batch " << QString::number(scanimageMs, 'f', 1) << " ms, run "
          << QString::number(runMs, 'f', 1) << " ms\n";
    // Import time: turning the same sheets (scanimage's files) into pages,
    // one after the other, on their own.
    QTemporaryDir cache(work + QStringLiteral("/cache-XXXXXX"));
    const auto importStarted = Clock::now();
    for (const QString& name : QDir(batch.path()).entryList({QStringLiteral("*.png")})) {
        ScannedPage::make(QUrl::fromLocalFile(batch.filePath(name)),
                          QUrl::fromLocalFile(cache.path()), dpi, false);
    }
    const double importMs = msBetween(importStarted, Clock::now());
    const double lastToList =
        lastByte.time_since_epoch().count() && allIn.time_since_epoch().count()
            ? msBetween(lastByte, allIn)
            : -1;
    target(QStringLiteral("scan_time_vs_scanimage"), runMs,
           QStringLiteral("<= 3 x %1 + %2 ms import")
               .arg(QString::number(scanimageMs, 'f', 1), QString::number(importMs, 'f', 1)),
           model.pages().size() == sheets && runMs <= 3 * scanimageMs + importMs);
    target(QStringLiteral("scan_gui_longest_stall"), longestStall, QStringLiteral("<= 50 ms"),
           longestStall <= 50);
    target(QStringLiteral("scan_last_byte_to_page_in_list"), lastToList,
           QStringLiteral("<= 300 ms"), lastToList >= 0 && lastToList <= 300);
    return 0;
}
