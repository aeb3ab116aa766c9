// This run's private cache folder: where it lies, its permissions, its
// re-creation, the checks that keep the recursive removal to itself, and
// its manifest written in the background.

#include "PageFixtures.h"

#include "pages/SessionFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace PageFixtures;

constexpr QFile::Permissions othersAndGroup = QFile::Permissions(0x0077);

class tst_SessionFolder : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    QByteArray savedHome_;

    QString inHome(const QString& name) const { return home_.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(home_.isValid());
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", home_.path().toLocal8Bit());
        qunsetenv("XDG_CACHE_HOME");
    }
    void cleanupTestCase() { qputenv("HOME", savedHome_); }

    void namedAfterAnUpperCaseUuidInThePrivateCache() {
        // (One folder per run in ~/.cache/Paperlark, and a re-created one
        // private again: tst_ScannerViewModel, tst_ScanController.)
        const QString root = inHome(QStringLiteral(".cache/Paperlark"));
        const SessionFolder folder;
        const QString name = folder.id().toString(QUuid::WithoutBraces).toUpper();
        QCOMPARE(folder.path(), root + u'/' + name);
        QVERIFY(!QFileInfo::exists(root)); // nothing is made before create()

        folder.create();
        QVERIFY(QFileInfo(folder.path()).isDir());
        QCOMPARE(QFileInfo(folder.path()).permissions() & othersAndGroup, QFile::Permissions());
        QCOMPARE(QFileInfo(root).permissions() & othersAndGroup, QFile::Permissions());

        // Removal takes everything inside; create() brings the folder back,
        // and may run any number of times.
        QVERIFY(QDir().mkpath(folder.path() + QStringLiteral("/scan")));
        write(folder.path() + QStringLiteral("/scan/page.pnm"), "P5");
        const QString otherRun = root + QStringLiteral("/other-run");
        QVERIFY(QDir().mkpath(otherRun));
        QVERIFY(folder.remove());
        QVERIFY(!QFileInfo::exists(folder.path()));
        QVERIFY(QFileInfo(otherRun).isDir());
        QVERIFY(!folder.remove());

        folder.create();
        folder.create();
        QVERIFY(QFileInfo(folder.path()).isDir());
        QVERIFY(folder.remove());
    }

    void givenCacheRootIsMadeAbsolute() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(home_.path()));
        const SessionFolder folder(QStringLiteral("elsewhere/./cache/"));
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(folder.cacheRoot(), inHome(QStringLiteral("elsewhere/cache")));

        // The parent of a missing root is made too.
        folder.create();
        QVERIFY(QFileInfo(folder.path()).isDir());
        QVERIFY(folder.remove());
    }

    void neverRemovesWhatIsNotItsOwnFolder() {
        const SessionFolder folder;
        folder.create();

        // The folder replaced by a link to the user's files: nothing behind
        // the link is removed, nor the link itself.
        const QString precious = inHome(QStringLiteral("Documents/precious"));
        QVERIFY(QDir().mkpath(precious));
        write(precious + QStringLiteral("/letter.txt"), "keep");
        QVERIFY(QDir(folder.path()).removeRecursively());
        QVERIFY(QFile::link(precious, folder.path()));
        QVERIFY(!folder.remove());
        QCOMPARE(readAll(precious + QStringLiteral("/letter.txt")), QByteArray("keep"));
        QVERIFY(QFileInfo(folder.path()).isSymLink());
        QVERIFY(QFile::remove(folder.path()));

        // A plain file where the folder was is left alone.
        write(folder.path(), "not a folder");
        QVERIFY(!folder.remove());
        QCOMPARE(readAll(folder.path()), QByteArray("not a folder"));
        QVERIFY(QFile::remove(folder.path()));
    }

    void backgroundRecordsReachTheDiskInOrder() {
        const SessionFolder folder;
        folder.create();
        QList<std::shared_ptr<ScannedPage>> pages;
        const auto onDisk = [&folder] {
            return SessionManifest::read(folder.path()).value_or(SessionManifest{}).pages;
        };
        const auto expected = [&] { return SessionManifest::of(pages, folder.path(), {}).pages; };
        // Forty states handed over as fast as they come: the last one is
        // what the disk holds once the writer is done.
        for (int i = 0; i < 40; ++i) {
            pages.append(std::make_shared<ScannedPage>(
                QUuid::createUuid(),
                QUrl::fromLocalFile(folder.path() + u'/' + ScannedPage::makeCacheFileName()),
                QSizeF(10, 20), 100, QImage()));
            folder.recordPagesInBackground(pages);
        }
        QVERIFY(folder.waitForRecords());
        QCOMPARE(onDisk(), expected());

        // A write that fails (the folder has gone) is reported, and the same
        // list is written again once it can be.
        QVERIFY(QDir(folder.path()).removeRecursively());
        pages.removeLast();
        folder.recordPagesInBackground(pages);
        QVERIFY(!folder.waitForRecords());
        folder.create();
        folder.recordPagesInBackground(pages);
        QVERIFY(folder.waitForRecords());
        QCOMPARE(onDisk(), expected());

        // The synchronous record comes after whatever waits; removal drops
        // what waits and leaves nothing behind.
        pages.removeFirst();
        folder.recordPagesInBackground(pages);
        pages.removeFirst();
        QVERIFY(folder.recordPages(pages));
        QCOMPARE(onDisk(), expected());
        pages.removeFirst();
        folder.recordPagesInBackground(pages);
        QVERIFY(folder.remove());
        folder.waitForRecords();
        QVERIFY(!QFileInfo::exists(folder.path()));
    }
};

QTEST_GUILESS_MAIN(tst_SessionFolder)
#include "tst_SessionFolder.moc"
