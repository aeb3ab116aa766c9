// Scanning through SANE's net backend from a real saned on loopback, the way
// a scanner shared by another computer is reached. saned serves the "test"
// backend's virtual devices; the scanner worker sees them as
// net:127.0.0.1:test:N, and also (for comparison) directly as test:N.
//
// The net backend always dials port 6566. So that saned can own that port
// whatever else runs on the machine, the whole test runs in a network
// namespace of its own, entered first thing in main() while the process
// still has one thread; the worker and saned are its children and share it.
#include "ScanRig.h"

#include "scanning/worker/ScannerWorkerClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString remote = QStringLiteral("net:127.0.0.1:test:0");
const QString local = QStringLiteral("test:0");
const QString disconnected = QStringLiteral("The scanner was disconnected during the scan.");
const QString unreachable = QStringLiteral(
    "The scanner cannot be reached. Check that it is switched on and connected, then try again.");

bool writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

// Enters a network namespace of this process's own and brings its loopback
// up. A user other than root, and root where it may not do that directly,
// gets a user namespace as well, in which it may. Says why not when it
// cannot.
std::optional<QString> enterPrivateNetwork() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid != 0 || ::unshare(CLONE_NEWNET) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            return systemError("unshare");
        }
        // This user becomes root of the new user namespace.
        if (!writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", QByteArray("0 ") + QByteArray::number(uid) + " 1") ||
            !writeFile("/proc/self/gid_map", QByteArray("0 ") + QByteArray::number(gid) + " 1")) {
            return systemError("mapping the user");
        }
    }
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return systemError("socket");
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ::ioctl(probe, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ::ioctl(probe, SIOCSIFFLAGS, &request) == 0);
    const std::optional<QString> failure =
        up ? std::nullopt : std::optional<QString>(systemError("bringing up the loopback"));
    ::close(probe);
    return failure;
}

// Whether something takes connections on 127.0.0.1:6566.
bool sanedAnswers() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(6566);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return connected;
}

// saned serving the test backend on 127.0.0.1:6566. It forks a process per
// connection; all of them are in saned's own process group, which stop()
// kills as a whole, as a restart of the serving machine would.
class Saned {
public:
    explicit Saned(QString configFolder) : config_(std::move(configFolder)) {}
    ~Saned() { stop(); }
    Saned(const Saned&) = delete;
    Saned& operator=(const Saned&) = delete;

    // Starts saned afresh and waits until it takes connections.
    bool start() {
        stop();
        const QString program =
            QStandardPaths::findExecutable("saned", {"/usr/sbin", "/sbin", "/usr/bin"});
        if (program.isEmpty()) {
            qWarning("saned is not installed (Debian package sane-utils)");
            return false;
        }
        process_ = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SANE_CONFIG_DIR", config_);
        process_->setProcessEnvironment(environment);
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        process_->start(program, {"-l", "-e", "-d", "1", "-b", "127.0.0.1"});
        if (!process_->waitForStarted(scanTimeout)) {
            qWarning("saned did not start");
            return false;
        }
        group_ = pid_t(process_->processId());
        const bool ready = QTest::qWaitFor(
            [this] { return process_->state() != QProcess::Running || sanedAnswers(); },
            scanTimeout);
        if (!ready || process_->state() != QProcess::Running) {
            qWarning("saned does not take connections: %s", process_->readAll().constData());
            return false;
        }
        return true;
    }

    void stop() {
        if (group_ > 0) {
            ::kill(-group_, SIGKILL);
            group_ = 0;
        }
        if (process_) {
            process_->waitForFinished(scanTimeout);
            process_.reset();
        }
    }

    bool running() const { return process_ && process_->state() == QProcess::Running; }

private:
    QString config_;
    std::unique_ptr<QProcess> process_;
    pid_t group_ = 0;
};

} // namespace

class SaneNetworkTest : public QObject {
    Q_OBJECT

public:
    explicit SaneNetworkTest(std::optional<QString> noNetwork) : noNetwork_(std::move(noNetwork)) {}

private Q_SLOTS:
    void initTestCase() {
        if (noNetwork_) {
            QSKIP(qPrintable(QStringLiteral("No private network namespace for saned (") +
                             *noNetwork_ + QStringLiteral(")")));
        }
        QVERIFY(folders_.isValid());
        const QString server = folders_.filePath("server"), client = folders_.filePath("client");
        QVERIFY(QDir().mkpath(server) && QDir().mkpath(client));
        QVERIFY(writeFile(server + "/dll.conf", "test\n"));
        QVERIFY(writeFile(server + "/saned.conf", "127.0.0.1\n"));
        QVERIFY(writeFile(client + "/dll.conf", "net\ntest\n"));
        QVERIFY(writeFile(client + "/net.conf", "connect_timeout = 60\n127.0.0.1\n"));
        // The scanner worker reads the client's configuration.
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(client));
        saned_ = std::make_unique<Saned>(server);
        QVERIFY(saned_->start());
    }

    // Every test begins with saned serving, whatever the one before left.
    void init() {
        if (!saned_->running()) {
            QVERIFY(saned_->start());
        }
    }

    void cleanupTestCase() { saned_.reset(); }

    void everyColourModeThroughSanedIsTheDevicesOwnPage() {
        // Through the net backend, changing the mode asks for the options to
        // be reloaded, and until they are, every other setting is refused.
        Rig rig(withOptions({{"test-picture", "Color pattern"}}));
        rig.scanners = 4; // both test devices, directly and through saned
        QVERIFY(rig.ready());
        const auto scanOn = [&rig](const QString& device, ScanSource source, ColourMode colour,
                                   int dpi) {
            rig.device = device;
            return rig.scan(source, colour, dpi, PaperSize::a5);
        };
        const std::pair<ColourMode, int> modes[] = {{ColourMode::colour, 100},
                                                    {ColourMode::greyscale, 75},
                                                    {ColourMode::blackAndWhite, 150}};
        for (const auto& [colour, dpi] : modes) {
            const QByteArray what = "mode " + QByteArray::number(int(colour));
            const QImage direct = onlyPage(*scanOn(local, ScanSource::flatbed, colour, dpi));
            const auto outcome = scanOn(remote, ScanSource::flatbed, colour, dpi);
            QVERIFY2(outcome->failureText().isEmpty(), qPrintable(outcome->failureText()));
            const QImage page = onlyPage(*outcome);
            // An A5 sheet, as much of it as the device's 200 mm glass holds.
            QVERIFY2(std::abs(page.width() - 148 / 25.4 * dpi) <= 1, what);
            QVERIFY2(std::abs(page.height() - 200 / 25.4 * dpi) <= 1, what);
            QCOMPARE(page.dotsPerMeterX(), qRound(dpi / 0.0254));
            QCOMPARE(page.dotsPerMeterY(), qRound(dpi / 0.0254));
            QVERIFY2(colour != ColourMode::blackAndWhite || page.depth() == 1, what);
            QVERIFY2(page == direct, what);
        }

        // The feeder (selecting it asks for a reload too): every sheet.
        const auto direct = scanOn(local, ScanSource::feeder, ColourMode::colour, 25);
        const auto sheets = scanOn(remote, ScanSource::feeder, ColourMode::colour, 25);
        QCOMPARE(sheets->failureText(), QString());
        QCOMPARE(sheets->urls().size(), 10);
        const QImage first(sheets->urls().value(0).toLocalFile());
        QVERIFY(!first.isNull());
        QCOMPARE(first, QImage(direct->urls().value(0).toLocalFile()));
    }

    void scanningGoesOnWhenSanedRestarts() {
        Rig rig(withOptions(slowAfterFirstSheet));
        rig.scanners = 4;
        rig.device = remote;
        QVERIFY(rig.ready());
        qint64 worker = rig.workerPid();
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::greyscale, 50)->urls().size(), 1);

        // saned restarts: the worker's connection to it is gone, and the
        // next scan connects again by itself, in the same worker, without a
        // Refresh.
        QVERIFY(saned_->start());
        const auto again = rig.scan(ScanSource::flatbed, ColourMode::colour, 50);
        QCOMPARE(again->failureText(), QString());
        QCOMPARE(again->urls().size(), 1);
        QCOMPARE(rig.workerPid(), worker);

        // saned going away in the middle of a page: the scan ends as
        // disconnected, with its complete page, rather than waiting for the
        // watchdog (the net backend reports the closed connection as data
        // still to come, for ever). Should saned go while the worker sets the
        // next sheet's options instead, the net backend may take the worker
        // down with it: a new one takes over, with the same outcome.
        const auto cut = rig.startSlowFeederRun();
        QVERIFY(cut);
        QTest::qWait(500); // most likely into the second page's data by now
        saned_->stop();
        QVERIFY(rig.finished(cut));
        QCOMPARE(cut->failureText(), disconnected);
        QCOMPARE(cut->result->failure().deliveredPages(), rig.announced);
        QVERIFY(saned_->start());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::colour, 50)->urls().size(), 1);
        worker = rig.workerPid();

        // With saned gone, the scan says the scanner cannot be reached: no
        // scan was under way to be interrupted.
        saned_->stop();
        const auto down = rig.scan(ScanSource::flatbed, ColourMode::colour, 50);
        QCOMPARE(down->failureText(), unreachable);
        QVERIFY(down->urls().isEmpty());
        QVERIFY(saned_->start());
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::colour, 50)->urls().size(), 1);

        // A search for scanners after a restart finds them, in the same worker.
        QVERIFY(saned_->start());
        QSignalSpy searched(rig.browser, &ScannerBrowser::searchCompleted);
        rig.service->refresh();
        QVERIFY(searched.wait(scanTimeout));
        QVERIFY(rig.ready());
        QCOMPARE(rig.workerPid(), worker);
        QCOMPARE(rig.scan(ScanSource::flatbed, ColourMode::colour, 50)->urls().size(), 1);
        QCOMPARE(rig.workerPid(), worker);
    }

private:
    std::optional<QString> noNetwork_;
    QTemporaryDir folders_;
    std::unique_ptr<Saned> saned_;
};

int main(int argc, char** argv) {
    // Before anything can start a thread.
    const std::optional<QString> noNetwork = enterPrivateNetwork();
    QCoreApplication app(argc, argv);
    SaneNetworkTest test(noNetwork);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SaneNetwork.moc"
