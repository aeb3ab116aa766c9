// The view model on real SANE: the "test" backend's virtual scanners, as
// the test environment configures them (SANE_CONFIG_DIR).

#include "FakeDesktopServices.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QTest>

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

    // Scans with test:0 and waits for the outcome.
    void scan(ScanSource source, ColourMode colour, PaperSize paper, int dpi) {
        model_->setSelectedDeviceID(QStringLiteral("test:0"));
        model_->editSettings([&](AppSettings& s) {
            s.source = source;
            s.colour = colour;
            s.paper = paper;
            s.dpi = dpi;
        });
        statuses_.clear();
        model_->scan();
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

    void aJammedFeederFailsTheScan() {
        WorkerSettings jammed = WorkerSettings::defaults();
        jammed.options = {{"read-return-value", "SANE_STATUS_JAMMED"}};
        model_ = std::make_unique<ScannerViewModel>(std::make_shared<FakeDesktopServices>(),
                                                    std::make_unique<WorkerScannerBrowser>(jammed));
        watchStatus();
        waitForTheTestScanners();
        scan(ScanSource::feeder, ColourMode::greyscale, PaperSize::a4, 50);
        QCOMPARE(model_->errorMessage(),
                 QStringLiteral("The paper is jammed in the document feeder."));
        QCOMPARE(statuses_, (QStringList{"Scanning...", "Scan failed."}));
        QVERIFY(model_->pages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ModelSaneTest)
#include "tst_ModelSane.moc"
