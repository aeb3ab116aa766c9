// The view model on real SANE: the "test" backend's virtual scanners, as
// the test environment configures them (SANE_CONFIG_DIR).

#include "FakeDesktopServices.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Only a hang ever takes this long.
constexpr int scanTimeout = 120000;

} // namespace

class ModelSaneTest : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;
    std::unique_ptr<ScannerViewModel> model_;
    QStringList statuses_;

    void watchStatus() {
        statuses_.clear();
        connect(model_.get(), &ScannerViewModel::statusChanged, this,
                [this] { statuses_ << model_->status(); });
    }

    // Waits for both test scanners, and for every list already on its way.
    void waitForTheTestScanners() {
        QTRY_COMPARE_WITH_TIMEOUT(model_->devices().size(), 2, scanTimeout);
        QCoreApplication::processEvents();
        QCOMPARE(model_->status(), QStringLiteral("2 scanner(s) found. Ready."));
    }

    // A model over the worker browser with these backend options.
    WorkerScannerBrowser* makeModel(QList<BackendOption> options) {
        WorkerSettings settings = WorkerSettings::defaults();
        settings.options = std::move(options);
        auto browser = std::make_unique<WorkerScannerBrowser>(settings);
        WorkerScannerBrowser* raw = browser.get();
        model_ = std::make_unique<ScannerViewModel>(std::make_shared<FakeDesktopServices>(),
                                                    std::move(browser));
        watchStatus();
        return raw;
    }

    void startScan(ScanSource source, ColourMode colour, PaperSize paper, int dpi) {
        model_->setSelectedDeviceID(QStringLiteral("test:0"));
        model_->editSettings([&](AppSettings& s) {
            s.source = source;
            s.colour = colour;
            s.paper = paper;
            s.dpi = dpi;
        });
        statuses_.clear();
        model_->scan();
    }

    // Scans with test:0 and waits for the outcome.
    void scan(ScanSource source, ColourMode colour, PaperSize paper, int dpi) {
        startScan(source, colour, paper, dpi);
        QVERIFY(model_->busy());
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), scanTimeout);
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
            QSKIP("needs the SANE test backend that scripts/test-env.sh configures");
        }
    }

    void init() {
        home_.emplace();
        QVERIFY(home_->isValid());
    }

    void cleanup() {
        model_.reset();
        home_.reset();
    }

    void realScansBecomePages() {
        // The application's own constructor: the system's scanners.
        model_ = std::make_unique<ScannerViewModel>(std::make_shared<FakeDesktopServices>());
        watchStatus();
        waitForTheTestScanners();
        QCOMPARE(model_->selectedDeviceID(), model_->devices().first().id);

        // A5 in grey at 100 dpi from the flatbed: one page of 148 x 200 mm
        // (the test glass is 200 mm long).
        scan(ScanSource::flatbed, ColourMode::greyscale, PaperSize::a5, 100);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(statuses_, (QStringList{"Scanning...", "Scanned page 1...",
                                         "Scanned 1 page(s). 1 page(s) ready."}));
        QCOMPARE(model_->pages().size(), 1);
        const auto page = model_->pages().first();
        QCOMPARE(page->pixelSize(), QSizeF(582, 787));
        QCOMPARE(page->dpi(), 100.0);
        QCOMPARE(model_->selectedPageID(), page->id());
        const QDir session(model_->sessionFolder().toLocalFile());
        QCOMPARE(session.entryList({QStringLiteral("*.png")}, QDir::Files),
                 QStringList{QFileInfo(page->cacheURL().toLocalFile()).fileName()});

        // The feeder holds ten sheets.
        scan(ScanSource::feeder, ColourMode::blackAndWhite, PaperSize::a4, 50);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(statuses_.size(), 12);
        QCOMPARE(statuses_[1], QStringLiteral("Scanned page 1..."));
        QCOMPARE(statuses_[10], QStringLiteral("Scanned page 10..."));
        QCOMPARE(model_->status(), QStringLiteral("Scanned 10 page(s). 11 page(s) ready."));
        QCOMPARE(model_->pages().size(), 11);
        QCOMPARE(model_->pages().last()->dpi(), 50.0);
        QCOMPARE(session.entryList({QStringLiteral("*.png")}, QDir::Files).size(), 11);
    }

    void aStreamedFeederRunStaysBusyUntilItsLastPageIsIn() {
        makeModel({});
        waitForTheTestScanners();
        // Every change of status or busy, with the number of pages in the
        // list at that moment.
        struct Moment {
            QString status;
            bool busy;
            qsizetype pages;
        };
        QList<Moment> moments;
        const auto note = [&] {
            moments.append({model_->status(), model_->busy(), model_->pages().size()});
        };
        connect(model_.get(), &ScannerViewModel::statusChanged, this, note);
        connect(model_.get(), &ScannerViewModel::busyChanged, this, note);
        qsizetype largest = 0;
        bool shrank = false;
        connect(model_.get(), &ScannerViewModel::pagesChanged, this, [&] {
            shrank = shrank || model_->pages().size() < largest;
            largest = std::max(largest, model_->pages().size());
            QVERIFY(model_->busy());
        });

        scan(ScanSource::feeder, ColourMode::colour, PaperSize::a4, 75);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QVERIFY(!shrank);
        QCOMPARE(model_->pages().size(), 10);
        // From "Scanning..." on (busy is set just before it).
        while (!moments.isEmpty() && moments.first().status != QStringLiteral("Scanning...")) {
            moments.removeFirst();
        }
        QStringList statuses;
        for (const Moment& moment : moments) {
            statuses << moment.status;
        }
        statuses.removeDuplicates();
        QStringList expected{"Scanning..."};
        for (int page = 1; page <= 10; ++page) {
            expected << QStringLiteral("Scanned page %1...").arg(page);
        }
        expected << "Scanned 10 page(s). 10 page(s) ready.";
        QCOMPARE(statuses, expected);
        // busy stays true until every page is in the list; only the final
        // status follows.
        const auto idle = std::find_if(moments.cbegin(), moments.cend(),
                                       [](const Moment& moment) { return !moment.busy; });
        QVERIFY(idle != moments.cend());
        QCOMPARE(idle->pages, 10);
        QVERIFY(std::all_of(idle, moments.cend(), [](const Moment& moment) {
            return !moment.busy && moment.pages == 10;
        }));
        QCOMPARE(moments.last().status, expected.last());
    }
};

QTEST_GUILESS_MAIN(ModelSaneTest)
#include "tst_ModelSane.moc"
