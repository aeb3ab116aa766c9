#include "email/EmailService.h"
#include "settings/Keychain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace {

// A real SMTP server (aiosmtpd) on a free loopback port, run from
// tests/email/smtp_server.py with Debian's Python. It stores every message
// it accepts, parsed by Python's own MIME parser, in a folder.
class SmtpServer {
public:
    SmtpServer() = default;
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;
    ~SmtpServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Starts the server; the port, or 0 when it did not come up.
    int start(const QStringList& options) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/email/smtp_server.py"),
                        QStringLiteral("--folder"), folder_.path()} +
                options);
        QByteArray line;
        while (!line.endsWith('\n') && process_.waitForReadyRead(30000)) {
            line += process_.readLine();
        }
        return line.startsWith("READY ") ? line.mid(6).trimmed().toInt() : 0;
    }

    // What the server recorded of the n-th accepted message (from 1).
    QJsonObject record(int n) const {
        QFile file(messageFolder(n).filePath(QStringLiteral("record.json")));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    QByteArray attachment(int n, int index) const {
        QFile file(messageFolder(n).filePath(QStringLiteral("attachment-%1").arg(index)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    int messageCount() const {
        return int(QDir(folder_.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    }

private:
    QDir messageFolder(int n) const { return QDir(folder_.filePath(QString::number(n))); }

    QTemporaryDir folder_;
    QProcess process_;
};

// A loopback port that refuses connections for as long as this lives: it
// is bound, so nobody else gets it, but nothing listens on it.
class ClosedPort {
public:
    ClosedPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ >= 0 && ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    ~ClosedPort() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }
    int port() const { return port_; }

private:
    int socket_;
    int port_ = 0;
};

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          size / qsizetype(sizeof(quint32)));
    return bytes;
}

QStringList strings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray()) {
        list << item.toString();
    }
    return list;
}

QString decodedBase64(const QJsonValue& value) {
    return QString::fromUtf8(QByteArray::fromBase64(value.toString().toLatin1()));
}

} // namespace

class SmtpDeliveryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir files_;
    QString certificate_;
    QString key_;
    QString authority_;

    QUrl writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(files_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return {};
        }
        return QUrl::fromLocalFile(file.fileName());
    }

    // Runs openssl; its output when it fails, otherwise the empty text.
    static QString openssl(const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0) {
            return {};
        }
        return QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(process.readAll());
    }

    static AppSettings settingsFor(int port, bool tls) {
        AppSettings s = AppSettings::defaults();
        s.smtpHost = QStringLiteral("127.0.0.1");
        s.smtpPort = port;
        s.smtpUseTLS = tls;
        s.smtpUser.clear();
        s.fromName = QStringLiteral("Ann Example");
        s.fromAddress = QStringLiteral("ann@example.org");
        return s;
    }

    static QString describe(const Result<void, EmailFailure>& sent) {
        return sent ? QStringLiteral("sent") : sent.failure().description();
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
        QVERIFY(files_.isValid());
        qunsetenv("CURL_CA_BUNDLE");

        // A certificate authority of our own and a server certificate for
        // 127.0.0.1 signed by it.
        const QString ca = files_.filePath(QStringLiteral("ca"));
        authority_ = ca + QStringLiteral(".pem");
        certificate_ = files_.filePath(QStringLiteral("server.pem"));
        key_ = files_.filePath(QStringLiteral("server.key"));
        const QString request = files_.filePath(QStringLiteral("server.csr"));
        const QString extensions = files_.filePath(QStringLiteral("server.ext"));
        QFile ext(extensions);
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                  "extendedKeyUsage=serverAuth\n");
        ext.close();
        const QString caKey = ca + QStringLiteral(".key");
        const QStringList newKey{
            QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        QCOMPARE(openssl(QStringList{"req", "-x509"} + newKey +
                         QStringList{"-keyout", caKey, "-out", authority_, "-days", "2", "-subj",
                                     "/CN=Paperlark Test CA"}),
                 QString());
        QCOMPARE(openssl(QStringList{"req"} + newKey +
                         QStringList{"-keyout", key_, "-out", request, "-subj", "/CN=127.0.0.1"}),
                 QString());
        QCOMPARE(openssl({"x509", "-req", "-in", request, "-CA", authority_, "-CAkey", caKey,
                          "-CAcreateserial", "-out", certificate_, "-days", "2", "-extfile",
                          extensions}),
                 QString());
    }

    void cleanup() { qunsetenv("CURL_CA_BUNDLE"); }

    void deliversAPlainSession() {
        SmtpServer server;
        const int port = server.start({});
        QVERIFY(port > 0);

        const QByteArray pdf = randomBytes(300 * 1024);
        const QByteArray png = randomBytes(5 * 1024 + 3);
        const QList<QUrl> files{writeFile(QStringLiteral("scan 2025-01-06.pdf"), pdf),
                                writeFile(QStringLiteral("page \"2\".png"), png)};
        const QString subject = QStringLiteral("Rechnung März – Seite 1");
        const QString body = QStringLiteral("Hallo,\nanbei der Scan.\nGrüße");

        // The send runs off the GUI thread, as the application runs it.
        const AppSettings settings = settingsFor(port, false);
        const Result<void, EmailFailure> sent =
            QtConcurrent::run([=] {
                return EmailService::sendViaSMTP(
                    settings, QStringLiteral("bob@example.org; carol@example.net,"), subject, body,
                    files);
            }).result();
        QVERIFY2(sent, qPrintable(describe(sent)));

        QCOMPARE(server.messageCount(), 1);
        const QJsonObject record = server.record(1);
        QCOMPARE(record.value("mailFrom").toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(
            strings(record.value("rcptTos")),
            (QStringList{QStringLiteral("bob@example.org"), QStringLiteral("carol@example.net")}));
        QCOMPARE(record.value("tls").toBool(), false);
        QVERIFY(record.value("login").isNull());
        QCOMPARE(record.value("defects").toInt(), 0);
        QCOMPARE(record.value("contentType").toString(), QStringLiteral("multipart/mixed"));
        QCOMPARE(record.value("from").toString(), QStringLiteral("Ann Example <ann@example.org>"));
        QCOMPARE(record.value("to").toString(),
                 QStringLiteral("bob@example.org, carol@example.net"));
        QCOMPARE(record.value("subject").toString(), subject);
        QCOMPARE(record.value("body").toString(), body);
        QCOMPARE(
            strings(record.value("attachments")),
            (QStringList{QStringLiteral("scan 2025-01-06.pdf"), QStringLiteral("page \"2\".png")}));
        QVERIFY(server.attachment(1, 0) == pdf);
        QVERIFY(server.attachment(1, 1) == png);
    }

    void requiresStartTlsWithTheGivenAuthority() {
        SmtpServer server;
        const int port =
            server.start({QStringLiteral("--cert"), certificate_, QStringLiteral("--key"), key_});
        QVERIFY(port > 0);
        const AppSettings settings = settingsFor(port, true);

        // Without our authority curl cannot trust the server.
        Result<void, EmailFailure> sent = EmailService::sendViaSMTP(
            settings, QStringLiteral("bob@example.org"), QString(), QString(), {});
        QVERIFY(!sent);
        QVERIFY2(sent.failure().description().startsWith(
                     QStringLiteral("The email could not be sent. curl: (60) ")),
                 qPrintable(describe(sent)));

        // The environment reaches curl: with the authority the upgrade works.
        qputenv("CURL_CA_BUNDLE", authority_.toLocal8Bit());
        sent = EmailService::sendViaSMTP(settings, QStringLiteral("bob@example.org"), QString(),
                                         QStringLiteral("over TLS"), {});
        QVERIFY2(sent, qPrintable(describe(sent)));
        QCOMPARE(server.record(1).value("tls").toBool(), true);
        QCOMPARE(server.record(1).value("subject").toString(), QStringLiteral("Scanned document"));
        QCOMPARE(server.record(1).value("body").toString(), QStringLiteral("over TLS"));

        // Without TLS asked for, the server's refusal is curl's error text.
        sent = EmailService::sendViaSMTP(
            settingsFor(port, false), QStringLiteral("bob@example.org"), QString(), QString(), {});
        QVERIFY(!sent);
        QVERIFY2(sent.failure().description().startsWith(
                     QStringLiteral("The email could not be sent. curl: (")),
                 qPrintable(describe(sent)));
        QCOMPARE(server.messageCount(), 1);
    }

    void logsInWithThePasswordFromTheKeyring() {
        const QString user = QStringLiteral("jürgen.müller@example.org");
        const QString password = QStringLiteral("pa\"ss\\wörd €\tand\nmore");
        SmtpServer server;
        const int port =
            server.start({QStringLiteral("--cert"), certificate_, QStringLiteral("--key"), key_,
                          QStringLiteral("--user"), user, QStringLiteral("--password"), password});
        QVERIFY(port > 0);
        qputenv("CURL_CA_BUNDLE", authority_.toLocal8Bit());
        AppSettings settings = settingsFor(port, true);
        settings.smtpUser = user;
        settings.fromAddress.clear();

        // A wrong password: the server refuses, the text is curl's.
        settings.setSmtpPassword(QStringLiteral("wrong"));
        Result<void, EmailFailure> sent = EmailService::sendViaSMTP(
            settings, QStringLiteral("bob@example.org"), QStringLiteral("S"), QString(), {});
        QCOMPARE(describe(sent),
                 QStringLiteral("The email could not be sent. curl: (67) Login denied"));

        settings.setSmtpPassword(password);
        sent = EmailService::sendViaSMTP(settings, QStringLiteral("bob@example.org"),
                                         QStringLiteral("S"), QString(), {});
        settings.setSmtpPassword(QString());
        QVERIFY2(sent, qPrintable(describe(sent)));
        const QJsonObject record = server.record(1);
        QCOMPARE(decodedBase64(record.value("login")), user);
        QCOMPARE(decodedBase64(record.value("password")), password);
        QCOMPARE(record.value("mailFrom").toString(), user);
        QCOMPARE(record.value("tls").toBool(), true);
    }

    void reportsARefusedConnection() {
        const ClosedPort closed;
        QVERIFY(closed.port() > 0);
        const Result<void, EmailFailure> sent =
            EmailService::sendViaSMTP(settingsFor(closed.port(), false),
                                      QStringLiteral("bob@example.org"), QString(), QString(), {});
        QVERIFY(!sent);
        QCOMPARE(sent.failure().kind(), EmailFailure::Kind::smtp);
        QVERIFY2(sent.failure().description().startsWith(
                     QStringLiteral("The email could not be sent. curl: (7) ")),
                 qPrintable(describe(sent)));
    }
};

QTEST_GUILESS_MAIN(SmtpDeliveryTest)
#include "tst_SmtpDelivery.moc"
