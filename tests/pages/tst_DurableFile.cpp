#include "PageFixtures.h"

#include "pages/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using PageFixtures::readAll;

namespace {

// Two contents large enough that a kill often lands inside a write.
QByteArray content(char fill) {
    return QByteArray(8 << 20, fill);
}

// Child mode: replaces `path` with the two contents in turn, forever,
// announcing each completed replacement on standard output.
int replaceForever(const QString& path) {
    for (int round = 0;; ++round) {
        if (!DurableFile::write(path, content(round % 2 == 0 ? 'a' : 'b'))) {
            return 1;
        }
        std::printf("written %d\n", round);
        std::fflush(stdout);
    }
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class tst_DurableFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commitPutsTheWholeFileInPlaceOrNothing();
    void aKilledWriterLeavesTheOldOrTheNewFile();
};

void tst_DurableFile::commitPutsTheWholeFileInPlaceOrNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("page.png");
    QVERIFY(DurableFile::write(path, "first"));
    QCOMPARE(readAll(path), QByteArray("first"));
    QCOMPARE(QFile::permissions(path) & 0x0077, QFileDevice::Permissions());

    {
        DurableFile file(path);
        QVERIFY(file.isOpen());
        file.device().write("second");
        // Until the commit the old file stays, and the new data waits under
        // a hidden temporary name.
        QCOMPARE(readAll(path), QByteArray("first"));
        const QStringList during = entries(dir.path());
        QCOMPARE(during.size(), 2);
        for (const QString& name : during) {
            QCOMPARE(DurableFile::isTemporaryName(name), name != "page.png");
        }
        QVERIFY(file.commit());
        QVERIFY(!file.commit()); // once only
    }
    QCOMPARE(readAll(path), QByteArray("second"));
    QCOMPARE(entries(dir.path()), QStringList{"page.png"});
    QVERIFY(!DurableFile::isTemporaryName("page_1.png"));
    QVERIFY(!DurableFile::isTemporaryName(".hidden"));
    QVERIFY(DurableFile::isTemporaryName(".manifest.json.a1B2c3"));

    // Abandoned without a commit: the old file stays, nothing is left beside it.
    {
        DurableFile file(path);
        file.device().write("abandoned");
    }
    QCOMPARE(readAll(path), QByteArray("second"));
    QCOMPARE(entries(dir.path()), QStringList{"page.png"});

    // A folder that does not exist: no file, and a failure.
    const QString missing = dir.filePath("missing/page.png");
    DurableFile nowhere(missing);
    QVERIFY(!nowhere.isOpen());
    QVERIFY(!nowhere.commit());
    QVERIFY(!DurableFile::write(missing, "x"));
    QVERIFY(!QFile::exists(missing));

    // A folder in the way of the rename: the write fails, the folder stays.
    QVERIFY(QDir(dir.path()).mkdir("taken"));
    QVERIFY(QDir(dir.path() + "/taken").mkdir("inside"));
    QVERIFY(!DurableFile::write(dir.filePath("taken"), "x"));
    QVERIFY(QFileInfo(dir.filePath("taken/inside")).isDir());
    QCOMPARE(entries(dir.path()), QStringList{"page.png"});
}

void tst_DurableFile::aKilledWriterLeavesTheOldOrTheNewFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("page.png");
    for (int attempt = 0; attempt < 12; ++attempt) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--replace-forever", path});
        QVERIFY(child.waitForStarted());
        // Let it complete a few replacements (a different number each time),
        // then kill it wherever it is in the next one.
        int lines = 0;
        while (lines < 1 + attempt % 4) {
            QVERIFY2(child.waitForReadyRead(60000), "the child stopped writing");
            while (child.canReadLine()) {
                child.readLine();
                ++lines;
            }
        }
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished(60000));

        const QByteArray now = readAll(path);
        QVERIFY2(
            now == content('a') || now == content('b'),
            qPrintable(QStringLiteral("%1 bytes after attempt %2").arg(now.size()).arg(attempt)));
        // At most a hidden temporary file is left beside it.
        for (const QString& name : entries(dir.path())) {
            QVERIFY(name == "page.png" || DurableFile::isTemporaryName(name));
        }
    }
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--replace-forever") == 0) {
        return replaceForever(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    tst_DurableFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_DurableFile.moc"
