// The scanner service against a worker that speaks the real protocol and
// lies about its page files (LyingWorker.cpp): whatever it says, nothing
// outside the scan's folder is opened, read, moved or removed, the pages
// already there survive, and the scan ends as a worker fault with the pages
// delivered before the lie.

#include "pages/ImageFile.h"
#include "pages/ScannedPage.h"
#include "scanning/ScannerService.h"
#include "scanning/worker/WorkerScannerBrowser.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr int patience = 120000;

const QString workerFault = QStringLiteral("The scanner was disconnected during the scan.");

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything done to the files and folders watched, but for changes of
// their attributes (a hard link made to a file changes its link count).
class Watch {
public:
    explicit Watch(const QStringList& paths) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const QString& path : paths) {
            ::inotify_add_watch(fd_, QFile::encodeName(path).constData(),
                                IN_ALL_EVENTS & ~IN_ATTRIB);
        }
    }
    ~Watch() { ::close(fd_); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    bool anything() const {
        char buffer[4096];
        return ::read(fd_, buffer, sizeof buffer) > 0;
    }

private:
    int fd_;
};

struct Scan {
    std::optional<ScannerService::ScanResult> result;
    QString failure() const { return result && !*result ? result->failure().description() : ""; }
    QList<QUrl> pages() const {
        return !result   ? QList<QUrl>{}
               : *result ? result->value()
                         : result->failure().deliveredPages();
    }
};

} // namespace

class tst_WorkerTrust : public QObject {
    Q_OBJECT

    std::unique_ptr<ScannerService> service_;
    WorkerScannerBrowser* browser_ = nullptr;

    void startService() {
        WorkerSettings settings = WorkerSettings::defaults();
        settings.workerPath = QStringLiteral(LYING_WORKER);
        auto browser = std::make_unique<WorkerScannerBrowser>(settings);
        browser_ = browser.get();
        service_ = std::make_unique<ScannerService>(std::move(browser));
        service_->startBrowsing();
        QTRY_COMPARE_WITH_TIMEOUT(service_->devices().size(), 1, patience);
    }

    Scan scan(const QString& folder) {
        Scan outcome;
        bool done = false;
        service_->scan(
            {QStringLiteral("liar:0"), ScanSource::flatbed, ColourMode::colour, PaperSize::a4, 100},
            QUrl::fromLocalFile(folder), [&](const ScannerService::ScanResult& result) {
                outcome.result = result;
                done = true;
            });
        if (!QTest::qWaitFor([&] { return done; }, patience)) {
            qWarning("the scan did not end");
        }
        return outcome;
    }

private Q_SLOTS:
    void aLyingWorkerIsNeverBelieved_data() {
        QTest::addColumn<QByteArray>("lie");
        for (const char* lie : {"again", "dotdot", "symlink", "hardlink", "absolute", "cache",
                                "fifo", "nodata", "smalldata", "ink", "thumbnail", "partial"}) {
            QTest::newRow(lie) << QByteArray(lie);
        }
    }

    void aLyingWorkerIsNeverBelieved() {
        QFETCH(QByteArray, lie);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        // The user's files: a page file (what a real page looks like, so
        // that taking it on would work) and a folder beside it.
        const QString outside = home.filePath("user");
        QVERIFY(QDir().mkpath(outside + "/folder"));
        const QString session = home.filePath("session");
        QVERIFY(QDir().mkpath(session));
        const QImage photo = QImage(120, 90, QImage::Format_RGB32);
        QVERIFY(ImageFile::writePNG(photo, QUrl::fromLocalFile(outside + "/decoy.png"), 100));
        QVERIFY(QFile::copy(outside + "/decoy.png", outside + "/page-photo.png"));
        const QStringList decoys = {outside + "/decoy.png", outside + "/page-photo.png"};
        const QByteArray decoyBytes = bytesOf(decoys.first());
        // A page already in the list, cached in the scan's folder.
        QVERIFY(QFile::copy(outside + "/decoy.png", home.filePath("listed.png")));
        const auto listed = ScannedPage::make(QUrl::fromLocalFile(home.filePath("listed.png")),
                                              QUrl::fromLocalFile(session), 100, true);
        QVERIFY(listed);
        const QString cacheFile = listed.value()->cacheURL().toLocalFile();
        const QByteArray cacheBytes = bytesOf(cacheFile);

        qputenv("PAPERLARK_LIE", lie);
        qputenv("PAPERLARK_LIE_OUTSIDE", QFile::encodeName(outside));
        qputenv("PAPERLARK_LIE_CACHE", QFile::encodeName(QFileInfo(cacheFile).fileName()));
        startService();
        const qint64 liar = browser_->worker().processId().value_or(-1);
        const Watch watch(decoys + QStringList{outside, outside + "/folder"});

        const Scan lied = scan(session);
        QCOMPARE(lied.failure(), workerFault);
        // The honest page before the lie is delivered, under our own name,
        // and is a page.
        QCOMPARE(lied.pages().size(), 1);
        const QString honest = lied.pages().first().toLocalFile();
        QVERIFY(QRegularExpression("^scan_[0-9A-F-]{36}\\.png$")
                    .match(QFileInfo(honest).fileName())
                    .hasMatch());
        QCOMPARE(QFileInfo(honest).absolutePath(), session);
        QVERIFY(ScannedPage::make(QUrl::fromLocalFile(honest), QUrl::fromLocalFile(session), 100,
                                  true));

        // Nothing of the user's was touched, and the listed page is whole.
        QVERIFY(!watch.anything());
        for (const QString& decoy : decoys) {
            QCOMPARE(bytesOf(decoy), decoyBytes);
        }
        QCOMPARE(bytesOf(cacheFile), cacheBytes);
        QVERIFY(listed.value()->loadFullImage());
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"decoy.png", "folder", "page-photo.png"}));

        // The liar was replaced: the next worker's honest scan works.
        qputenv("PAPERLARK_LIE", "none");
        const Scan next = scan(session);
        QCOMPARE(next.failure(), QString());
        QCOMPARE(next.pages().size(), 1);
        QVERIFY(browser_->worker().processId().value_or(liar) != liar);
        service_.reset();
    }
};

QTEST_GUILESS_MAIN(tst_WorkerTrust)
#include "tst_WorkerTrust.moc"
