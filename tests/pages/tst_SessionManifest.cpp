#include "PageFixtures.h"

#include "pages/DurableFile.h"
#include "pages/SessionLock.h"
#include "pages/SessionManifest.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PageFixtures;

namespace {

QString pageName(const QString& suffix = QStringLiteral(".png")) {
    return ScannedPage::makeCacheFileName(suffix);
}

SessionManifest sample(int pages) {
    SessionManifest manifest;
    manifest.changed = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 8), Qt::UTC);
    for (int i = 0; i < pages; ++i) {
        manifest.pages.append({QUuid::createUuid(), pageName(), 150.0 + i,
                               QStringLiteral("%1 x 20 px @ 150 dpi").arg(i + 1)});
    }
    return manifest;
}

} // namespace

class tst_SessionManifest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTripAndPagesOfAList();
    void refusesWhatItCannotTrust();
    void readsOnlyOwnRegularFiles();
    void aFailedWriteKeepsThePreviousManifest();
    void oneLockHolderAtATime();
};

void tst_SessionManifest::roundTripAndPagesOfAList() {
    const SessionManifest manifest = sample(3);
    const auto back = SessionManifest::fromJson(manifest.toJson());
    QVERIFY(back);
    QCOMPARE(*back, manifest);
    QVERIFY(manifest.toJson().contains("\"version\": 1"));
    QVERIFY(!manifest.toJson().contains("turns"));
    // Turns make it version 2 (which earlier versions refuse rather than
    // restore the pages unturned).
    SessionManifest turned = manifest;
    turned.pages[1].turns = 3;
    QVERIFY(turned.toJson().contains("\"version\": 2"));
    QCOMPARE(SessionManifest::fromJson(turned.toJson()), turned);
    // A page's own text layer is noted, in any version (earlier ones ignore it).
    SessionManifest withText = manifest;
    withText.pages[2].text = true;
    QVERIFY(withText.toJson().contains("\"version\": 1"));
    QCOMPARE(SessionManifest::fromJson(withText.toJson()), withText);

    // From a page list: pages whose file lies elsewhere are left out.
    QTemporaryDir dir;
    const QString folder = dir.filePath("session");
    const auto make = [](const QString& in) {
        return std::make_shared<ScannedPage>(QUuid::createUuid(),
                                             QUrl::fromLocalFile(QDir(in).filePath(pageName())),
                                             QSizeF(10, 20), 300.0, QImage());
    };
    const auto first = make(folder), elsewhere = make(dir.path());
    const QUrl lastURL = QUrl::fromLocalFile(QDir(folder).filePath(pageName(".jpg")));
    const auto last =
        std::make_shared<ScannedPage>(QUuid::createUuid(), lastURL, QSizeF(20, 10), 300.0, QImage(),
                                      std::nullopt, 1, ScannedPage::textLayerURLFor(lastURL));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto of = SessionManifest::of({first, elsewhere, last}, folder, now);
    QCOMPARE(of.changed, now);
    QCOMPARE(of.pages.size(), 2);
    QCOMPARE(of.pages[0], (SessionManifest::Entry{first->id(), first->cacheURL().fileName(), 300.0,
                                                  "10 x 20 px @ 300 dpi"}));
    QCOMPARE(of.pages[1].id, last->id());
    QCOMPARE(of.pages[1].turns, 1);
    QVERIFY(!of.pages[0].text);
    QVERIFY(of.pages[1].text);
}

void tst_SessionManifest::refusesWhatItCannotTrust() {
    const QByteArray good = sample(2).toJson();
    QVERIFY(!SessionManifest::fromJson(good.left(good.size() / 2))); // torn
    QVERIFY(!SessionManifest::fromJson(""));
    QVERIFY(!SessionManifest::fromJson("[]"));
    QByteArray latin1 = good;
    latin1.replace("px", "p\xE9");
    QVERIFY(!SessionManifest::fromJson(latin1)); // not UTF-8
    QByteArray future = good;
    future.replace("\"version\": 1", "\"version\": 3");
    QVERIFY(!SessionManifest::fromJson(future));
    QByteArray textual = good;
    textual.replace("\"version\": 1", "\"version\": \"1\"");
    QVERIFY(!SessionManifest::fromJson(textual));
    QByteArray huge = good;
    huge.append(QByteArray(SessionManifest::maxBytes, ' '));
    QVERIFY(!SessionManifest::fromJson(huge));

    // Entries that could point anywhere else, or make no sense, are dropped
    // one by one; the rest stays in order. The page files of dropped
    // entries are named, for whoever cleans up to leave alone. An id that
    // is missing or taken is replaced: the file is the page.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString file = pageName();
    const auto entry = [](const QString& id, const QString& file, const QString& dpi) {
        return QStringLiteral(R"({"id": "%1", "file": "%2", "dpi": %3, "description": "d"})")
            .arg(id, file, dpi);
    };
    const QString other = QUuid::createUuid().toString();
    const QStringList refused = {pageName(), pageName(), pageName(), pageName()};
    const QString unnamed = pageName(), again = pageName(), unknown = pageName(),
                  highest = pageName();
    const QStringList entries = {
        entry(id, file, "300"),
        entry(QUuid::createUuid().toString(), "../" + pageName(), "300"),
        entry(QUuid::createUuid().toString(), "/home/user/" + pageName(), "300"),
        entry(QUuid::createUuid().toString(), "notes.txt", "300"),
        entry(QUuid::createUuid().toString(), pageName().toLower(), "300"),
        entry(QUuid::createUuid().toString(), refused[0], "-5"),
        entry(QUuid::createUuid().toString(), refused[1], "1e300"),
        entry(QUuid::createUuid().toString(), refused[2], "\"300\""),
        entry(QUuid::createUuid().toString(), refused[3], "100001"),
        entry("not an id", unnamed, "300"),
        entry(id, again, "300"),                            // the same id again
        entry(QUuid::createUuid().toString(), file, "300"), // the same file again
        entry(other, unknown, "0"),                         // resolution not known
        entry(QUuid::createUuid().toString(), highest, "100000"),
        "42",
    };
    const QString json =
        QStringLiteral(R"({"version": 1, "changed": "2026-01-02T03:04:05.000Z", "pages": [%1]})")
            .arg(entries.join(", "));
    const auto parsed = SessionManifest::fromJson(json.toUtf8());
    QVERIFY(parsed);
    QStringList files;
    QSet<QUuid> ids;
    for (const auto& page : parsed->pages) {
        files << page.file;
        ids.insert(page.id);
    }
    QCOMPARE(files, QStringList({file, unnamed, again, unknown, highest}));
    QCOMPARE(ids.size(), 5);
    QCOMPARE(parsed->pages[0].id, QUuid::fromString(id));
    QVERIFY(!parsed->pages[1].id.isNull());
    QCOMPARE(parsed->pages[3].id, QUuid::fromString(other));
    QCOMPARE(parsed->rejected, 10);
    QCOMPARE(parsed->rejectedFiles, refused);
    QCOMPARE(parsed->changed, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));

    // Turns: whole quarter turns 0...3, and only in version 2.
    const auto turned = [&](int version, const QStringList& turns) {
        QStringList list;
        for (const QString& t : turns) {
            list << QStringLiteral(R"({"id": "%1", "file": "%2", "dpi": 300, "turns": %3})")
                        .arg(QUuid::createUuid().toString(), pageName(".jpg"), t);
        }
        return SessionManifest::fromJson(
            QStringLiteral(R"({"version": %1, "changed": "2026-01-02T03:04:05Z", "pages": [%2]})")
                .arg(version)
                .arg(list.join(", "))
                .toUtf8());
    };
    const auto two = turned(2, {"0", "3", "4", "-1", "1.5", "\"1\"", "null", "2"});
    QVERIFY(two);
    QCOMPARE(two->pages.size(), 3);
    QCOMPARE(two->pages[1].turns, 3);
    QCOMPARE(two->pages[2].turns, 2);
    QCOMPARE(two->rejected, 5);
    const auto one = turned(1, {"1"});
    QVERIFY(one);
    QCOMPARE(one->pages.size(), 0);
    QCOMPARE(one->rejected, 1);
}

void tst_SessionManifest::readsOnlyOwnRegularFiles() {
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString path = QDir(folder).filePath(SessionManifest::fileName);
    const SessionManifest manifest = sample(1);
    QVERIFY(manifest.write(folder));
    QCOMPARE(SessionManifest::read(folder), manifest);

    // A user's file behind a link of either kind is never read.
    const QString users = dir.filePath("users-notes.json");
    QVERIFY(QFile::rename(path, users));
    QVERIFY(QFile::link(users, path));
    QVERIFY(!SessionManifest::read(folder));
    QVERIFY(QFile::remove(path));
    QCOMPARE(::link(QFile::encodeName(users).constData(), QFile::encodeName(path).constData()), 0);
    QVERIFY(!SessionManifest::read(folder));
    QVERIFY(QFile::remove(path));
    // A pipe does not block the reader.
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QVERIFY(!SessionManifest::read(folder));
    QVERIFY(QFile::remove(path));
    // Another user's file.
    QVERIFY(manifest.write(folder));
    if (::getuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 4242, 4242), 0);
        QVERIFY(!SessionManifest::read(folder));
    }

    // Page files: the same rules, and only page names.
    const QString name = pageName();
    write(QDir(folder).filePath(name), "pixels");
    QCOMPARE(SessionManifest::readPageFile(folder, name), QByteArray("pixels"));
    QVERIFY(!SessionManifest::readPageFile(folder, "users-notes.json"));
    const QString linked = pageName();
    QVERIFY(QFile::link(users, QDir(folder).filePath(linked)));
    QVERIFY(!SessionManifest::readPageFile(folder, linked));
    const QString hard = pageName();
    QCOMPARE(::link(QFile::encodeName(users).constData(),
                    QFile::encodeName(QDir(folder).filePath(hard)).constData()),
             0);
    QVERIFY(!SessionManifest::readPageFile(folder, hard));
    QVERIFY(!SessionManifest::readPageFile(folder, pageName())); // missing
}

void tst_SessionManifest::aFailedWriteKeepsThePreviousManifest() {
    QTemporaryDir dir;
    const SessionManifest before = sample(2);
    QVERIFY(before.write(dir.path()));

    // The disk "fills up" half-way through the next write.
    const SessionManifest after = sample(200);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(before.toJson().size() + 100);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = after.write(dir.path());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(SessionManifest::read(dir.path()), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{SessionManifest::fileName});
}

void tst_SessionManifest::oneLockHolderAtATime() {
    QTemporaryDir dir;
    auto first = SessionLock::acquire(dir.path());
    QVERIFY(first);
    QVERIFY(!SessionLock::acquire(dir.path()));
    QVERIFY(SessionLock::isHeldElsewhere(dir.path()));
    SessionLock moved = std::move(*first);
    first.reset();
    QVERIFY(SessionLock::isHeldElsewhere(dir.path()));
    { const SessionLock gone = std::move(moved); }
    QVERIFY(!SessionLock::isHeldElsewhere(dir.path()));
    QVERIFY(SessionLock::acquire(dir.path()));

    // A lock file that is a link is never followed, nor locked.
    QTemporaryDir other;
    const QString target = dir.filePath("users-file");
    write(target, "mine");
    QVERIFY(QFile::link(target, QDir(other.path()).filePath(SessionLock::fileName)));
    QVERIFY(!SessionLock::acquire(other.path()));
    QVERIFY(!SessionLock::isHeldElsewhere(other.path()));
    QCOMPARE(readAll(target), QByteArray("mine"));
    QVERIFY(!SessionLock::isHeldElsewhere(dir.filePath("missing")));
}

QTEST_GUILESS_MAIN(tst_SessionManifest)
#include "tst_SessionManifest.moc"
