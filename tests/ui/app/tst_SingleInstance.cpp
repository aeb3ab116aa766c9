// The real program started with image files, and a second start handing its
// files to the running one over a session bus of this test's own (so that
// other tests starting the program at the same time are never involved), or
// running by itself when there is no bus.
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString program = QStringLiteral(PAPERLARK_BINARY_DIR "/Paperlark/paperlark");
constexpr int generousMs = 120'000;

// One run of the program in its own HOME (so its page cache can be
// watched), on the offscreen platform the test environment sets.
class Paperlark {
public:
    Paperlark(const QString& home, const QString& workingDirectory, const QStringList& arguments,
              const QProcessEnvironment& base) {
        QProcessEnvironment environment = base;
        environment.insert(QStringLiteral("HOME"), home);
        environment.remove(QStringLiteral("XDG_CACHE_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(workingDirectory);
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(program, arguments);
    }
    Paperlark(const Paperlark&) = delete;
    Paperlark& operator=(const Paperlark&) = delete;
    ~Paperlark() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(generousMs);
        }
    }

    QProcess& process() { return process_; }
    bool running() const { return process_.state() == QProcess::Running; }

    // Ends within the limit with exit status `status`.
    bool endsWith(int status) {
        return process_.waitForFinished(generousMs) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == status;
    }

private:
    QProcess process_;
};

// A session bus that lives as long as the object.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForStarted(generousMs)) {
            while (!daemon_.canReadLine() && daemon_.waitForReadyRead(generousMs)) {
            }
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(generousMs);
    }

    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// Pages the program holds: one cache file each under ~/.cache/Paperlark.
int cachedPages(const QString& home) {
    int count = 0;
    QDirIterator it(home + QStringLiteral("/.cache/Paperlark"), {QStringLiteral("page_*")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

bool writeImage(const QString& path, const char* format) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, format);
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
        QVERIFY2(!bus_.address().isEmpty(), "dbus-daemon did not start");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
        withBus_ = environment;
        QVERIFY(folder_.isValid());
        QVERIFY(writeImage(folder_.filePath(QStringLiteral("with space/Größe 1.png")), "PNG"));
        QVERIFY(writeImage(folder_.filePath(QStringLiteral("b.jpg")), "JPEG"));
        QVERIFY(writeImage(folder_.filePath(QStringLiteral("with space/-c.bmp")), "BMP"));
        QFile bad(folder_.filePath(QStringLiteral("bad.png")));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("not an image") > 0);
    }

    // Files with the command line: relative paths, spaces, non-ASCII names
    // and options mixed in; the unreadable one is skipped; a folder adds the
    // images in it. A second start hands its files and folders to the first
    // (relative to its own folder) and ends.
    void filesOpenAndGoToTheRunningInstance() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        Paperlark first(home.path(), folder_.path(),
                        {QStringLiteral("with space/Größe 1.png"), QStringLiteral("-platform"),
                         QStringLiteral("offscreen"), QStringLiteral("bad.png"),
                         QStringLiteral("b.jpg"), QStringLiteral("with space")},
                        withBus_);
        QTRY_COMPARE_WITH_TIMEOUT(cachedPages(home.path()), 4, generousMs);
        QVERIFY(first.running());

        Paperlark second(home.path(), folder_.filePath(QStringLiteral("with space")),
                         {QStringLiteral("../b.jpg"), QStringLiteral("--"),
                          QStringLiteral("-c.bmp"), QStringLiteral("Größe 1.png"),
                          QStringLiteral(".")},
                         withBus_);
        QVERIFY(second.endsWith(0));
        QTRY_COMPARE_WITH_TIMEOUT(cachedPages(home.path()), 9, generousMs);

        // Started again without files: the running one comes forward, nothing is added.
        Paperlark third(home.path(), folder_.path(), {}, withBus_);
        QVERIFY(third.endsWith(0));
        QVERIFY(first.running());
        QCOMPARE(cachedPages(home.path()), 9);
    }

    // Without a session bus every start runs by itself.
    void withoutBusRunsAlone() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment noBus = QProcessEnvironment::systemEnvironment();
        noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                     QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
        Paperlark first(home.path(), folder_.path(), {QStringLiteral("b.jpg")}, noBus);
        QTRY_COMPARE_WITH_TIMEOUT(cachedPages(home.path()), 1, generousMs);
        Paperlark second(home.path(), folder_.path(), {QStringLiteral("b.jpg")}, noBus);
        QTRY_COMPARE_WITH_TIMEOUT(cachedPages(home.path()), 2, generousMs);
        QVERIFY(first.running());
        QVERIFY(second.running());
    }

private:
    PrivateBus bus_;
    QProcessEnvironment withBus_;
    QTemporaryDir folder_;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_SingleInstance.moc"
