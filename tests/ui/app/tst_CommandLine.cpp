// The command line: what the arguments ask for, and the real program's
// answers to --help, --version and misuse, without a display.
#include "buildinfo/BuildInfo.h"
#include "ui/app/CommandLine.h"

#include <QProcess>
#include <QtTest>

namespace {

const QString program = QStringLiteral(PAPERLARK_BINARY_DIR "/Paperlark/paperlark");

QUrl local(const QString& path) {
    return QUrl::fromLocalFile(path);
}

QList<QUrl> filesOf(const CommandLine::Request& request) {
    const auto* run = std::get_if<CommandLine::Run>(&request);
    return run != nullptr ? run->files : QList<QUrl>{QUrl(QStringLiteral("not:run"))};
}

QString misuseOf(const CommandLine::Request& request) {
    const auto* misuse = std::get_if<CommandLine::Misuse>(&request);
    return misuse != nullptr ? misuse->message : QString();
}

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program with no display of any kind and no platform chosen.
Outcome runWithoutDisplay(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesBecomeAbsoluteLocalUrls() {
        const QString cwd = QStringLiteral("/home/user/scans");
        QCOMPARE(filesOf(CommandLine::parse({}, cwd)), QList<QUrl>{});
        QCOMPARE(filesOf(CommandLine::parse({QStringLiteral("a.png"),
                                             QStringLiteral("../other/Größe 2.JPG"),
                                             QStringLiteral("/tmp/x y.tiff")},
                                            cwd)),
                 (QList<QUrl>{local(QStringLiteral("/home/user/scans/a.png")),
                              local(QStringLiteral("/home/user/other/Größe 2.JPG")),
                              local(QStringLiteral("/tmp/x y.tiff"))}));
        // File managers may pass URLs; "-" and everything after "--" are files.
        QCOMPARE(filesOf(CommandLine::parse({QStringLiteral("file:///tmp/a%20b.png"),
                                             QStringLiteral("-"), QStringLiteral("--"),
                                             QStringLiteral("--help"), QStringLiteral("-v")},
                                            cwd)),
                 (QList<QUrl>{local(QStringLiteral("/tmp/a b.png")),
                              local(QStringLiteral("/home/user/scans/-")),
                              local(QStringLiteral("/home/user/scans/--help")),
                              local(QStringLiteral("/home/user/scans/-v"))}));
        // Qt's own options are left to QApplication, with their values.
        QCOMPARE(
            filesOf(CommandLine::parse({QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                        QStringLiteral("a.png"), QStringLiteral("--style=Fusion"),
                                        QStringLiteral("-reverse"), QStringLiteral("b.png")},
                                       cwd)),
            (QList<QUrl>{local(QStringLiteral("/home/user/scans/a.png")),
                         local(QStringLiteral("/home/user/scans/b.png"))}));
    }

    // (The program's own answers to -h, --version and an unknown option are
    // checked below.)
    void optionsAndMisuse() {
        const QString cwd = QStringLiteral("/tmp");
        QVERIFY(std::holds_alternative<CommandLine::ShowHelp>(
            CommandLine::parse({QStringLiteral("--help"), QStringLiteral("--bad")}, cwd)));
        QVERIFY(std::holds_alternative<CommandLine::ShowVersion>(
            CommandLine::parse({QStringLiteral("-v")}, cwd)));
        QVERIFY(
            !misuseOf(CommandLine::parse({QStringLiteral("--bad"), QStringLiteral("--help")}, cwd))
                 .isEmpty());
        QCOMPARE(misuseOf(CommandLine::parse({QStringLiteral("a.png"), QStringLiteral("-platform")},
                                             cwd)),
                 QStringLiteral("paperlark: option '-platform' needs a value "
                                "(see 'paperlark --help')"));
        QVERIFY(!misuseOf(CommandLine::parse({QString()}, cwd)).isEmpty());
        QVERIFY(
            !misuseOf(CommandLine::parse({QStringLiteral("-platformx"), QStringLiteral("y")}, cwd))
                 .isEmpty());
    }

    // The installed program's answers, with no display to open a window on.
    void programAnswersWithoutDisplay() {
        const Outcome version = runWithoutDisplay({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("Paperlark %1\n").arg(BuildInfo::version()));
        QCOMPARE(version.err, QString());

        const Outcome help = runWithoutDisplay({QStringLiteral("a.png"), QStringLiteral("-h")});
        QCOMPARE(help.status, 0);
        QCOMPARE(help.out, CommandLine::helpText());
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: paperlark ")));

        const Outcome unknown =
            runWithoutDisplay({QStringLiteral("--frobnicate"), QStringLiteral("a.png")});
        QCOMPARE(unknown.status, 2);
        QCOMPARE(unknown.out, QString());
        QCOMPARE(
            unknown.err,
            QStringLiteral("paperlark: unknown option '--frobnicate' (see 'paperlark --help')\n"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_CommandLine.moc"
