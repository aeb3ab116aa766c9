#include "buildinfo/BuildInfo.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestBuildInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void compiledInformation() {
        for (const QString& url : {BuildInfo::toolsUrl, BuildInfo::privacyUrl,
                                   BuildInfo::donationUrl, BuildInfo::authorUrl}) {
            QVERIFY2(url.startsWith(QStringLiteral("https://")), qPrintable(url));
        }
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))
                    .match(BuildInfo::version())
                    .hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                    .match(BuildInfo::buildDate())
                    .hasMatch());
        QVERIFY(!BuildInfo::publisher().isEmpty());
        // Every value of the generated list is filled in.
        QVERIFY(QRegularExpression(QStringLiteral("^[a-z]+(\\.[A-Za-z0-9]+)+$"))
                    .match(BuildInfo::applicationId())
                    .hasMatch());
    }

    void fallbacks() {
        const BuildInfo::InformationList empty;
        QCOMPARE(BuildInfo::version(empty), QStringLiteral("0.0.0"));
        QCOMPARE(BuildInfo::buildDate(empty), QStringLiteral("unknown"));
        QCOMPARE(BuildInfo::publisher(empty), QStringLiteral("Wrenfold"));

        // Entries that are not strings fall back; strings come back unchanged.
        const BuildInfo::InformationList odd{
            {QStringLiteral("CFBundleShortVersionString"), QString()},
            {QStringLiteral("BuildDate"), 20261206},
            {QStringLiteral("NSHumanReadableCopyright"), QStringLiteral("  Someone  ")},
        };
        QCOMPARE(BuildInfo::version(odd), QString());
        QCOMPARE(BuildInfo::buildDate(odd), QStringLiteral("unknown"));
        QCOMPARE(BuildInfo::publisher(odd), QStringLiteral("  Someone  "));
        const BuildInfo::InformationList bytes{
            {QStringLiteral("CFBundleShortVersionString"), QByteArray("1.2.3")}};
        QCOMPARE(BuildInfo::version(bytes), QStringLiteral("0.0.0"));
    }

    void signatureSummary() {
        QCOMPARE(BuildInfo::signature().summary(),
                 QStringLiteral("Not signed, or the signature does not verify"));
        QCOMPARE((SignatureState{false, QStringLiteral("CN"), QStringLiteral("TEAM")}).summary(),
                 QStringLiteral("Not signed, or the signature does not verify"));
        QCOMPARE((SignatureState{true, std::nullopt, std::nullopt}).summary(),
                 QStringLiteral("unknown authority"));
        QCOMPARE((SignatureState{true, QStringLiteral("Developer ID: Jo"), QString()}).summary(),
                 QStringLiteral("Developer ID: Jo"));
        QCOMPARE(
            (SignatureState{true, QStringLiteral("Jo"), QStringLiteral("ABCDE12345")}).summary(),
            QStringLiteral("Jo (Team ABCDE12345)"));
        QCOMPARE((SignatureState{true, std::nullopt, QStringLiteral("T")}).summary(),
                 QStringLiteral("unknown authority (Team T)"));
    }

    void digestMatchesSha256sum() {
        const std::optional<QUrl> exe = BuildInfo::executableURL();
        QVERIFY(exe.has_value());
        QCOMPARE(exe->toLocalFile(), QCoreApplication::applicationFilePath());

        QProcess sha;
        sha.start(QStringLiteral("sha256sum"), {exe->toLocalFile()});
        QVERIFY(sha.waitForFinished(60000));
        const QString expected = QString::fromLatin1(sha.readAllStandardOutput().left(64));
        const std::optional<QString> digest = BuildInfo::executableSHA256();
        QVERIFY(digest.has_value());
        QCOMPARE(*digest, expected);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(*digest).hasMatch());

        const QTemporaryDir dir;
        QFile empty(dir.filePath(QStringLiteral("empty")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(BuildInfo::sha256OfFile(QUrl::fromLocalFile(empty.fileName())),
                 std::optional<QString>(
                     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QCOMPARE(BuildInfo::sha256OfFile(QUrl::fromLocalFile(dir.filePath("missing"))),
                 std::nullopt);
    }

    void digestIsOfTheRunningImageAfterAnUpgrade() {
        const QTemporaryDir dir;
        for (const QString& upgrade : {QStringLiteral("replace"), QStringLiteral("delete")}) {
            const QString copy = dir.filePath(QStringLiteral("probe-") + upgrade);
            QVERIFY(QFile::copy(QStringLiteral(DIGEST_PROBE), copy));
            const std::optional<QString> expected =
                BuildInfo::sha256OfFile(QUrl::fromLocalFile(copy));
            QVERIFY(expected.has_value());

            QProcess probe;
            probe.start(copy, {copy, upgrade});
            QVERIFY(probe.waitForFinished(60000));
            QCOMPARE(probe.exitCode(), 0);
            QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), *expected);
            QCOMPARE(QFile::exists(copy), upgrade == QStringLiteral("replace"));
        }
    }
};

QTEST_GUILESS_MAIN(TestBuildInfo)
#include "tst_BuildInfo.moc"
