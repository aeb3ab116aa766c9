#include "email/EmailService.h"

#include "LoopbackSmtpServer.h"
#include "StandInPrograms.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {

QStringList strings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray()) {
        list << item.toString();
    }
    return list;
}

QString fromBase64(const QJsonValue& value) {
    return QString::fromUtf8(QByteArray::fromBase64(value.toString().toLatin1()));
}

QString describe(const Result<void, EmailFailure>& sent) {
    return sent ? u"sent"_s : sent.failure().description();
}

AppSettings settingsFor(int port, bool tls) {
    AppSettings s = AppSettings::defaults();
    s.smtpHost = u"127.0.0.1"_s;
    s.smtpPort = port;
    s.smtpUseTLS = tls;
    s.smtpUser.clear();
    s.fromName = u"Doe, Ann"_s;
    s.fromAddress = u"ann@example.org"_s;
    return s;
}

} // namespace

class SmtpDeliveryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir files_;
    QStringList tls_; // server options offering STARTTLS with our certificate

    QString path(const QString& name) const { return files_.filePath(name); }

    QUrl writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                   ? QUrl::fromLocalFile(file.fileName())
                   : QUrl();
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
        QVERIFY(files_.isValid());
        // Our own certificate authority, and a certificate for 127.0.0.1
        // signed by it.
        QFile extensions(path(u"server.ext"_s));
        QVERIFY(extensions.open(QIODevice::WriteOnly));
        extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
        extensions.close();
        const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes"};
        const QList<QStringList> steps{
            QStringList{"req", "-x509", "-subj", "/CN=Paperlark Test CA", "-days", "2", "-keyout",
                        path(u"ca.key"_s), "-out", path(u"ca.pem"_s)} +
                key,
            QStringList{"req", "-subj", "/CN=127.0.0.1", "-keyout", path(u"server.key"_s), "-out",
                        path(u"server.csr"_s)} +
                key,
            {"x509", "-req", "-in", path(u"server.csr"_s), "-CA", path(u"ca.pem"_s), "-CAkey",
             path(u"ca.key"_s), "-CAcreateserial", "-days", "2", "-extfile", extensions.fileName(),
             "-out", path(u"server.pem"_s)}};
        for (const QStringList& arguments : steps) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start(u"openssl"_s, arguments);
            QVERIFY2(openssl.waitForFinished(60000) && openssl.exitCode() == 0,
                     openssl.readAll().constData());
        }
        tls_ = QStringList{"--cert", path(u"server.pem"_s), "--key", path(u"server.key"_s)};
    }

    void cleanup() { qunsetenv("CURL_CA_BUNDLE"); }

    void deliversAPlainSession() {
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);
        QByteArray pdf(300 * 1024 + 1, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(pdf.data()),
                                              pdf.size() / 4);
        const QByteArray png = pdf.right(5003);
        const QList<QUrl> files{writeFile(u"scan 2025-01-06.pdf"_s, pdf),
                                writeFile(u"page \"2\".png"_s, png)};
        const QString subject = u"Rechnung März – Seite 1"_s;
        const QString body = u"Hallo,\nanbei der Scan.\nGrüße"_s;

        // Off the GUI thread, as the application runs it.
        const AppSettings settings = settingsFor(server.port, false);
        const auto sent =
            QtConcurrent::run([=] {
                return EmailService::sendViaSMTP(settings, u"bob@example.org; carol@example.net,"_s,
                                                 subject, body, files);
            }).result();
        QVERIFY2(sent, qPrintable(describe(sent)));

        QCOMPARE(server.messageCount(), 1);
        const QJsonObject record = server.record(1);
        QCOMPARE(record["mailFrom"].toString(), u"ann@example.org"_s);
        QCOMPARE(strings(record["rcptTos"]),
                 (QStringList{u"bob@example.org"_s, u"carol@example.net"_s}));
        QCOMPARE(record["tls"].toBool(), false);
        QCOMPARE(record["defects"].toInt(), 0);
        QCOMPARE(record["from"].toString(), u"\"Doe, Ann\" <ann@example.org>"_s);
        QCOMPARE(record["to"].toString(), u"bob@example.org, carol@example.net"_s);
        QCOMPARE(record["subject"].toString(), subject);
        QCOMPARE(record["body"].toString(), body);
        QCOMPARE(strings(record["attachments"]),
                 (QStringList{u"scan 2025-01-06.pdf"_s, u"page \"2\".png"_s}));
        QVERIFY(server.read(1, u"attachment-0"_s) == pdf);
        QVERIFY(server.read(1, u"attachment-1"_s) == png);
    }

    void requiresStartTlsWithTheGivenAuthority() {
        LoopbackSmtpServer server(tls_);
        QVERIFY(server.port > 0);
        // Without our authority curl does not trust the server.
        auto sent =
            EmailService::sendViaSMTP(settingsFor(server.port, true), u"b@x.org"_s, {}, {}, {});
        QVERIFY2(describe(sent).startsWith(u"The email could not be sent. curl: (60) "_s),
                 qPrintable(describe(sent)));

        // The environment reaches curl: with the authority the upgrade works.
        qputenv("CURL_CA_BUNDLE", path(u"ca.pem"_s).toLocal8Bit());
        sent = EmailService::sendViaSMTP(settingsFor(server.port, true), u"b@x.org"_s, {},
                                         u"over TLS"_s, {});
        QVERIFY2(sent, qPrintable(describe(sent)));
        QCOMPARE(server.record(1)["tls"].toBool(), true);
        QCOMPARE(server.record(1)["body"].toString(), u"over TLS"_s);

        // Without TLS asked for, the server's refusal comes as curl's text.
        sent = EmailService::sendViaSMTP(settingsFor(server.port, false), u"b@x.org"_s, {}, {}, {});
        QVERIFY2(describe(sent).startsWith(u"The email could not be sent. curl: ("_s),
                 qPrintable(describe(sent)));
        QCOMPARE(server.messageCount(), 1);
    }

    void logsInWithThePasswordFromTheKeyring() {
        // Any character in the password; a colon in the user name, where
        // curl's own login option would split it.
        const QList<std::pair<QString, QString>> logins{
            {u"jürgen.müller@example.org"_s, u"pa\"ss\\wörd €\tand\nmore"_s},
            {u"corp:alice"_s, u"alice:pw:1"_s}};
        for (const auto& [user, password] : logins) {
            LoopbackSmtpServer server(tls_ + QStringList{"--user", user, "--password", password});
            QVERIFY(server.port > 0);
            qputenv("CURL_CA_BUNDLE", path(u"ca.pem"_s).toLocal8Bit());
            AppSettings settings = settingsFor(server.port, true);
            settings.smtpUser = user;
            if (user.contains(u'@')) { // the user name is then the sender
                settings.fromAddress.clear();
            }

            settings.setSmtpPassword(u"wrong"_s);
            auto sent = EmailService::sendViaSMTP(settings, u"b@x.org"_s, {}, {}, {});
            QCOMPARE(describe(sent), u"The email could not be sent. curl: (67) Login denied"_s);

            settings.setSmtpPassword(password);
            sent = EmailService::sendViaSMTP(settings, u"b@x.org"_s, {}, {}, {});
            settings.setSmtpPassword(QString());
            QVERIFY2(sent, qPrintable(describe(sent)));
            QCOMPARE(fromBase64(server.record(1)["login"]), user);
            QCOMPARE(fromBase64(server.record(1)["password"]), password);
            QCOMPARE(server.record(1)["mailFrom"].toString(),
                     settings.fromAddress.isEmpty() ? user : settings.fromAddress);
            QCOMPARE(server.record(1)["subject"].toString(), u"Scanned document"_s);
        }
    }

    void explainsARefusalForSize() {
        QByteArray pdf(300 * 1000, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(pdf.data()),
                                              pdf.size() / 4);
        const QList<QUrl> files{writeFile(u"large.pdf"_s, pdf)};
        const auto size =
            EmailService::messageSize(settingsFor(0, false), u"b@x.org"_s, {}, {}, files);
        QVERIFY(size);

        // Announced (refused as curl gives the size with MAIL), refused after
        // the data, and hung up on in the middle of the data.
        for (const char* refusal : {"--size-limit", "--refuse-over", "--drop-over"}) {
            LoopbackSmtpServer server({QString::fromLatin1(refusal), u"200000"_s});
            QVERIFY(server.port > 0);
            const auto sent = EmailService::sendViaSMTP(settingsFor(server.port, false),
                                                        u"b@x.org"_s, {}, {}, files);
            QVERIFY2(!sent, refusal);
            QCOMPARE(sent.failure(), EmailFailure::tooLarge(size.value()));
            QCOMPARE(sent.failure().description(),
                     u"The mail server refused the message because it is too large (0.4 MB)."_s);
            QCOMPARE(server.messageCount(), 0);
        }

        // Under its limit the server takes the message, as large as foretold.
        LoopbackSmtpServer server({u"--size-limit"_s, u"2000000"_s});
        const auto sent =
            EmailService::sendViaSMTP(settingsFor(server.port, false), u"b@x.org"_s, {}, {}, files);
        QVERIFY2(sent, qPrintable(describe(sent)));
        QCOMPARE(server.read(1, u"message.eml"_s).size(), size.value());
    }

    void usesTheSystemCurlWhateverComesFirstOnPath() {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString marker = bin.filePath(u"ran"_s);
        QVERIFY(writeScript(bin.filePath(u"curl"_s),
                            "#!/bin/sh\ntouch '" + marker.toUtf8() +
                                "'\necho 'curl: (77) another CA store' >&2\nexit 77\n"));
        const PathFront front(bin.path());
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);
        const auto sent =
            EmailService::sendViaSMTP(settingsFor(server.port, false), u"b@x.org"_s, {}, {}, {});
        QVERIFY2(sent, qPrintable(describe(sent)));
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(server.messageCount(), 1);
    }
};

QTEST_GUILESS_MAIN(SmtpDeliveryTest)
#include "tst_SmtpDelivery.moc"
