// The view model on real SANE: the "test" backend's virtual scanners, as
// the test environment configures them (SANE_CONFIG_DIR).

#include "FakeDesktopServices.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"

#include <QTest>

#include <algorithm>

class ModelSaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
            QSKIP("needs the SANE test backend that scripts/test-env.sh configures");
        }
    }

    void aStreamedFeederRunStaysBusyUntilItsLastPageIsIn() {
        // Only a hang ever takes this long.
        constexpr int scanTimeout = 120000;
        const TestHome home;
        QVERIFY(home.isValid());
        // The application's own constructor: the system's scanners.
        ScannerViewModel model(std::make_shared<FakeDesktopServices>());
        QTRY_COMPARE_WITH_TIMEOUT(model.devices().size(), 2, scanTimeout);
        QCoreApplication::processEvents(); // every list already on its way
        QCOMPARE(model.status(), QStringLiteral("2 scanner(s) found. Ready."));
        QCOMPARE(model.selectedDeviceID(), model.devices().first().id);

        // Every change of status or busy, with the number of pages in the
        // list at that moment.
        struct Moment {
            QString status;
            bool busy;
            qsizetype pages;
        };
        QList<Moment> moments;
        const auto note = [&] {
            moments.append({model.status(), model.busy(), model.pages().size()});
        };
        connect(&model, &ScannerViewModel::statusChanged, this, note);
        connect(&model, &ScannerViewModel::busyChanged, this, note);
        qsizetype largest = 0;
        bool shrank = false;
        connect(&model, &ScannerViewModel::pagesChanged, this, [&] {
            shrank = shrank || model.pages().size() < largest;
            largest = std::max(largest, model.pages().size());
            QVERIFY(model.busy());
        });

        model.setSelectedDeviceID(QStringLiteral("test:0"));
        model.editSettings([](AppSettings& s) {
            s.source = ScanSource::feeder;
            s.colour = ColourMode::colour;
            s.paper = PaperSize::a4;
            s.dpi = 75;
        });
        moments.clear();
        model.scan();
        QVERIFY(model.busy());
        QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), scanTimeout);
        QCOMPARE(model.errorMessage(), std::nullopt);
        QVERIFY(!shrank);
        QCOMPARE(model.pages().size(), 10);
        QCOMPARE(model.pages().last()->dpi(), 75.0);
        QCOMPARE(model.selectedPageID(), model.pages().last()->id());
        // The worker's files became the pages' own, in the session folder.
        QCOMPARE(QDir(model.sessionFolder().toLocalFile()).entryList({"*.png"}, QDir::Files).size(),
                 10);
        // busy stays true until every page is in the list; only the final
        // status follows. (The statuses on the way are the scan controller's.)
        const auto idle = std::find_if(moments.cbegin(), moments.cend(),
                                       [](const Moment& moment) { return !moment.busy; });
        QVERIFY(idle != moments.cend());
        QCOMPARE(idle->pages, 10);
        QVERIFY(std::all_of(idle, moments.cend(), [](const Moment& moment) {
            return !moment.busy && moment.pages == 10;
        }));
        QCOMPARE(moments.last().status, QStringLiteral("Scanned 10 page(s). 10 page(s) ready."));
    }
};

QTEST_GUILESS_MAIN(ModelSaneTest)
#include "tst_ModelSane.moc"
