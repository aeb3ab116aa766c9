#include "settings/AppSettings.h"
#include "settings/SettingsCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QUrl fileIn(const QTemporaryDir& dir, const QString& name) {
    return QUrl::fromLocalFile(dir.filePath(name));
}

void writeBytes(const QUrl& url, const QByteArray& bytes) {
    QFile file(url.toLocalFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QUrl& url) {
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

// What tests/data/settings/settings.json holds: every member away from its
// default.
AppSettings writtenBefore() {
    return AppSettings{
        QStringLiteral(" /srv/scans/Ünïcödé \"quoted\" \\ back"),
        OutputFormat::jpg,
        ColourMode::greyscale,
        ScanSource::feeder,
        PaperSize::letter,
        150,
        70,
        QStringLiteral("Invoice_{yyyy-MM-dd}/x"),
        QStringLiteral("net:192.168.1.5:escl:Brother"),
        false,
        false,
        EmailMethod::smtp,
        QStringLiteral("office@example.org, büro@example.de"),
        QStringLiteral("Rechnung \u2013 März"),
        QStringLiteral("Line one\nLine two\ttabbed \U0001F600"),
        QStringLiteral("smtp.example.org"),
        465,
        false,
        QStringLiteral("ann"),
        QStringLiteral("Ann Example"),
        QStringLiteral("ann@example.org"),
        true,
        QStringLiteral("deu+eng"),
        false,
        false,
        false,
    };
}

QByteArray dataFile(const char* name) {
    return readBytes(QUrl::fromLocalFile(
        QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/data/settings/") + QLatin1String(name)));
}

// A later version of the record: every setting of today and three more
// flags, on by default, that files written so far do not hold.
// clang-format off
#define LATER_SETTINGS(X)                          \
    PAPERLARK_APP_SETTINGS(X)                      \
    X(bool, firstFlag, true, addedLater)           \
    X(bool, secondFlag, true, addedLater)          \
    X(bool, thirdFlag, true, addedLater)
// clang-format on

struct LaterSettings {
    PAPERLARK_SETTINGS_RECORD(LaterSettings, LATER_SETTINGS)
    bool operator==(const LaterSettings&) const = default;
};

QJsonObject writtenBeforeJson() {
    return QJsonDocument::fromJson(dataFile("settings.json")).object();
}

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The standard locations follow HOME: give this test a home of its own so
    // it never meets another test's (or the user's) settings file.
    void initTestCase() {
        QVERIFY(home_.isValid());
        qputenv("HOME", QFile::encodeName(home_.path()));
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DOCUMENTS_DIR");
    }

    void defaultsAndLocations() {
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QCOMPARE(AppSettings::defaultSaveFolder().toLocalFile(),
                 documents + QStringLiteral("/Scans"));
        QCOMPARE(AppSettings::settingsFolder().toLocalFile(),
                 config + QStringLiteral("/Paperlark"));
        QCOMPARE(AppSettings::settingsURL().toLocalFile(),
                 config + QStringLiteral("/Paperlark/settings.json"));

        const QTemporaryDir dir;
        const AppSettings s = AppSettings::load(fileIn(dir, QStringLiteral("missing.json")));
        QCOMPARE(s, AppSettings::defaults());
        QCOMPARE(s.saveFolder, documents + QStringLiteral("/Scans"));
        QCOMPARE(s.emailSubject, QStringLiteral("Scanned document"));
        QCOMPARE(s.emailBody, QStringLiteral("Please find the scanned document attached."));
        QCOMPARE(s.fileNamePattern, QStringLiteral("Scan_{yyyy-MM-dd_HHmmss}"));

        // Without a URL, load and save use the standard location.
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));
        writtenBefore().save();
        QCOMPARE(AppSettings::load(), writtenBefore());
        QVERIFY(AppSettings::settingsURL().toLocalFile().startsWith(home_.path()));
        QVERIFY(QFile::remove(AppSettings::settingsURL().toLocalFile()));
    }

    void roundTripAndSortedKeys() {
        const QTemporaryDir dir;
        const QUrl url = fileIn(dir, QStringLiteral("nested/deeper/settings.json"));
        writtenBefore().save(url);
        QCOMPARE(AppSettings::load(url), writtenBefore());
        AppSettings::defaults().save(url);
        QCOMPARE(AppSettings::load(url), AppSettings::defaults());

        // Whatever size save writes, load reads: a 17 MB e-mail body.
        AppSettings large = writtenBefore();
        large.emailBody = QString(17 * 1000 * 1000, u'x');
        large.save(url);
        QVERIFY(QFileInfo(url.toLocalFile()).size() > 17 * 1000 * 1000);
        QCOMPARE(AppSettings::load(url), large);
    }

    // Files written before this version load as they were written, and save
    // back byte for byte; a file from before text recognition keeps all its
    // values and takes the defaults of the keys it lacks, as does one from
    // before straightening.
    void filesWrittenBefore() {
        const QTemporaryDir dir;
        const QUrl url = fileIn(dir, QStringLiteral("settings.json"));
        const QByteArray written = dataFile("settings.json");
        QVERIFY(!written.isEmpty());
        writeBytes(url, written);
        QCOMPARE(AppSettings::load(url), writtenBefore());
        AppSettings::load(url).save(url);
        QCOMPARE(readBytes(url), written);

        writeBytes(url, dataFile("before-text-recognition.json"));
        AppSettings expected = writtenBefore();
        expected.ocrEnabled = false;
        expected.ocrLanguage = QStringLiteral("eng");
        expected.compactPdfs = true;
        expected.straightenScans = expected.turnScansUpright = true;
        QCOMPARE(AppSettings::load(url), expected);

        // From before compact PDFs: they are on, everything else as written.
        writeBytes(url, dataFile("settings.json").replace("    \"compactPdfs\": false,\n", ""));
        expected = writtenBefore();
        expected.compactPdfs = true;
        QCOMPARE(AppSettings::load(url), expected);

        writeBytes(url, dataFile("before-straightening.json"));
        expected = writtenBefore();
        expected.compactPdfs = true;
        expected.straightenScans = expected.turnScansUpright = true;
        QCOMPARE(AppSettings::load(url), expected);
    }

    // A setting added later is one line in the list: today's files load into
    // the later record with the new flags on and every other value kept, the
    // later record's files load here, and both round-trip.
    void settingsAddedLater() {
        const std::optional<LaterSettings> later =
            SettingsCodec::decode<LaterSettings>(dataFile("settings.json"));
        QVERIFY(later.has_value());
        QVERIFY(later->firstFlag && later->secondFlag && later->thirdFlag);
        QCOMPARE(SettingsCodec::decode<AppSettings>(SettingsCodec::encode(*later)),
                 writtenBefore());

        LaterSettings changed = *later;
        changed.secondFlag = false;
        changed.dpi = 600;
        const QByteArray bytes = SettingsCodec::encode(changed);
        QCOMPARE(SettingsCodec::decode<LaterSettings>(bytes), changed);
        AppSettings expected = writtenBefore();
        expected.dpi = 600;
        QCOMPARE(SettingsCodec::decode<AppSettings>(bytes), expected);
        QCOMPARE(SettingsCodec::decode<LaterSettings>(SettingsCodec::encode(LaterSettings{})),
                 LaterSettings{});

        // Present with the wrong type is as bad as any other fault.
        QJsonObject object = QJsonDocument::fromJson(bytes).object();
        object.insert(QStringLiteral("thirdFlag"), QStringLiteral("no"));
        QCOMPARE(SettingsCodec::decode<LaterSettings>(QJsonDocument(object).toJson()),
                 std::nullopt);
    }

    void decodeIsAllOrNothing_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("format tiff") << "format" << QJsonValue(QStringLiteral("tiff"));
        QTest::newRow("paper A4") << "paper" << QJsonValue(QStringLiteral("A4"));
        QTest::newRow("dpi 1.5") << "dpi" << QJsonValue(1.5);
        QTest::newRow("dpi string") << "dpi" << QJsonValue(QStringLiteral("300"));
        QTest::newRow("port 2^64") << "smtpPort" << QJsonValue(18446744073709551616.0);
        QTest::newRow("bool as 1") << "openAfterSave" << QJsonValue(1);
        QTest::newRow("bool as string") << "smtpUseTLS" << QJsonValue(QStringLiteral("true"));
        QTest::newRow("string as null") << "smtpHost" << QJsonValue(QJsonValue::Null);
        QTest::newRow("missing jpegQuality") << "jpegQuality" << QJsonValue(QJsonValue::Undefined);
    }

    void decodeIsAllOrNothing() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject object = writtenBeforeJson();
        if (value.isUndefined()) {
            object.remove(key);
        } else {
            object.insert(key, value);
        }
        const QTemporaryDir dir;
        const QUrl url = fileIn(dir, QStringLiteral("settings.json"));
        const QByteArray bytes = QJsonDocument(object).toJson();
        writeBytes(url, bytes);
        QCOMPARE(AppSettings::load(url), AppSettings::defaults());
        QCOMPARE(readBytes(url), bytes); // the bad file is left alone
    }

    void acceptedVariations() {
        const QTemporaryDir dir;
        const QUrl url = fileIn(dir, QStringLiteral("settings.json"));

        // Unknown keys are ignored; large integers within 64 bits are kept.
        QJsonObject object = writtenBeforeJson();
        object.insert(QStringLiteral("futureOption"), QStringLiteral("x"));
        object.insert(QStringLiteral("dpi"), QJsonValue(qint64(9007199254740993)));
        object.insert(QStringLiteral("jpegQuality"), -5);
        writeBytes(url, QJsonDocument(object).toJson(QJsonDocument::Compact));
        AppSettings expected = writtenBefore();
        expected.dpi = 9007199254740993;
        expected.jpegQuality = -5;
        QCOMPARE(AppSettings::load(url), expected);

        // saveFolder: blanks only (spaces, tab, no-break and ideographic space)
        // become the default folder; blanks around a path stay; line breaks are
        // not blanks; "~" is not expanded.
        const auto loadWithFolder = [&](const QString& folder) {
            QJsonObject o = writtenBeforeJson();
            o.insert(QStringLiteral("saveFolder"), folder);
            writeBytes(url, QJsonDocument(o).toJson());
            return AppSettings::load(url).saveFolder;
        };
        const QString defaultFolder = AppSettings::defaultSaveFolder().toLocalFile();
        QCOMPARE(loadWithFolder(QString()), defaultFolder);
        QCOMPARE(loadWithFolder(QStringLiteral(" \t\u00a0\u3000")), defaultFolder);
        QCOMPARE(loadWithFolder(QStringLiteral(" /data/scans ")), QStringLiteral(" /data/scans "));
        QCOMPARE(loadWithFolder(QStringLiteral("\n")), QStringLiteral("\n"));

        AppSettings s = writtenBefore();
        s.saveFolder = QStringLiteral("~/Scans");
        QCOMPARE(s.saveFolderURL().toLocalFile(), QStringLiteral("~/Scans"));
        s.saveFolder.clear();
        QCOMPARE(s.saveFolderURL(), AppSettings::defaultSaveFolder());
    }

    void badFilesYieldDefaults() {
        const QTemporaryDir dir;
        const QUrl url = fileIn(dir, QStringLiteral("settings.json"));
        const QByteArray good = QJsonDocument(writtenBeforeJson()).toJson();
        const QList<QByteArray> bad{
            QByteArray(),
            good.left(good.size() / 2),
            QByteArray("[1, 2, 3]"),
            QByteArray("\xff\xfe{\"saveFolder\": \"\xc3\x28\"}"),
        };
        for (const QByteArray& bytes : bad) {
            writeBytes(url, bytes);
            QCOMPARE(AppSettings::load(url), AppSettings::defaults());
            QCOMPARE(readBytes(url).size(), bytes.size());
        }

        // A folder in place of the file.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.json")));
        QCOMPARE(AppSettings::load(fileIn(dir, QStringLiteral("folder.json"))),
                 AppSettings::defaults());

        // An unreadable file (root can read anything, so only check as a user).
        writeBytes(url, good);
        QVERIFY(QFile::setPermissions(url.toLocalFile(), QFileDevice::WriteOwner));
        if (geteuid() != 0) {
            QCOMPARE(AppSettings::load(url), AppSettings::defaults());
        }
        QVERIFY(QFile::setPermissions(url.toLocalFile(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    void failedSaveChangesNothing() {
        const QTemporaryDir dir;
        // The folder cannot be created: a file stands where a folder must go.
        writeBytes(fileIn(dir, QStringLiteral("blocker")), "x");
        writtenBefore().save(fileIn(dir, QStringLiteral("blocker/sub/settings.json")));
        QCOMPARE(readBytes(fileIn(dir, QStringLiteral("blocker"))), QByteArray("x"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("blocker")});

        // Writing fails: the existing good file survives intact and no
        // temporary file is left behind.
        const QUrl url = fileIn(dir, QStringLiteral("conf/settings.json"));
        writtenBefore().save(url);
        const QByteArray before = readBytes(url);
        const QString folder = dir.filePath(QStringLiteral("conf"));
        QVERIFY(chmod(folder.toLocal8Bit().constData(), 0500) == 0);
        AppSettings::defaults().save(url);
        QVERIFY(chmod(folder.toLocal8Bit().constData(), 0700) == 0);
        if (geteuid() != 0) {
            QCOMPARE(readBytes(url), before);
            QCOMPARE(QDir(folder).entryList(QDir::Files),
                     QStringList{QStringLiteral("settings.json")});
        }

        // A folder standing where the file should be is not replaced.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("conf2/settings.json")));
        writtenBefore().save(fileIn(dir, QStringLiteral("conf2/settings.json")));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("conf2/settings.json"))).isDir());
    }

private:
    QTemporaryDir home_;
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_AppSettings.moc"
