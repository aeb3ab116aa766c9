#include "StandInPrograms.h"
#include "email/EmailService.h"
#include "email/MessageSize.h"
#include "settings/Keychain.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

// The last line of curl's configuration: the server's last reply code to
// standard output.
const QByteArray writeOut = "write-out = \"%{response_code}\"\n";

} // namespace

// sendViaSMTP against a stand-in curl, which records its arguments, its
// standard input and the message file it was given, and answers with the
// status and error text the test chooses.
class EmailServiceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir bin_;
    QTemporaryDir temporary_; // this test's TMPDIR: every leftover is ours
    std::optional<QTemporaryDir> record_;

    QString recorded(const char* name) const { return record_->filePath(QString::fromUtf8(name)); }
    bool curlRan() const { return QFile::exists(recorded("args")); }
    QStringList curlArguments() const { return splitRecordedArguments(readAll(recorded("args"))); }

    void installCurl(int status = 0, const QByteArray& errorText = {},
                     const QByteArray& outputText = {}) {
        record_.emplace();
        const QByteArray out = record_->path().toUtf8();
        QVERIFY(writeScript(
            bin_.filePath(u"curl"_s),
            "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + out + "/args'\ncat > '" + out +
                "/stdin'\nprevious=\nfor argument in \"$@\"; do\n"
                "  if [ \"$previous\" = --upload-file ]; then\n    cp \"$argument\" '" +
                out + "/message.eml'\n    stat -c %a \"$argument\" > '" + out +
                "/mode'\n  fi\n  previous=$argument\ndone\nprintf '" + errorText +
                "' >&2\nprintf '" + outputText + "'\nexit " + QByteArray::number(status) + "\n"));
    }

    static AppSettings settings(std::int64_t port = 587, bool tls = true) {
        AppSettings s = AppSettings::defaults();
        s.smtpHost = u"mail.example.org"_s;
        s.smtpPort = port;
        s.smtpUseTLS = tls;
        s.smtpUser.clear();
        s.fromName = u"Ann Example"_s;
        s.fromAddress = u"ann@example.org"_s;
        return s;
    }

    static Result<void, EmailFailure> send(const AppSettings& s, const QString& recipients,
                                           const QList<QUrl>& files = {}) {
        return EmailService::sendViaSMTP(s, recipients, QString(), QString(), files);
    }

    QUrl attachment(const QString& name) const {
        QFile file(temporary_.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write("data") == 4
                   ? QUrl::fromLocalFile(file.fileName())
                   : QUrl();
    }

    static QStringList leftoverMessages() {
        return QDir(QDir::tempPath()).entryList({u"paperlark-*.eml"_s}, QDir::Files);
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
        QVERIFY(bin_.isValid() && temporary_.isValid());
        qputenv("TMPDIR", temporary_.path().toLocal8Bit());
        EmailService::setCurlProgramForTesting(bin_.filePath(u"curl"_s));
    }

    void cleanupTestCase() { EmailService::setCurlProgramForTesting({}); }

    void init() { installCurl(); }

    void checksSettingsAndRecipientsFirst() {
        AppSettings s = settings();
        s.smtpHost = u" \t\u00a0"_s;
        QCOMPARE(send(s, {}).failure(), EmailFailure::noServer());
        // Only horizontal blanks are trimmed: a line break counts as a host.
        s.smtpHost = u"\n"_s;
        s.fromAddress.clear();
        QCOMPARE(send(s, u"b@x.org"_s).failure(), EmailFailure::noSender());
        // A blank from address does not fall back to the user name.
        s = settings();
        s.fromAddress = u"  "_s;
        s.smtpUser = u"user@example.org"_s;
        QCOMPARE(send(s, u"b@x.org"_s).failure(), EmailFailure::noSender());
        QCOMPARE(send(settings(), u" ;, ,"_s).failure(), EmailFailure::noRecipient());
        QCOMPARE(send(settings(), u"b@x.org"_s,
                      {QUrl::fromLocalFile(temporary_.filePath(u"gone.pdf"_s))})
                     .failure()
                     .kind(),
                 EmailFailure::Kind::file);
        QVERIFY(!curlRan());
    }

    void refusesAddressesWithLineBreaks() {
        // Two addresses separated only by a line break are one piece, which
        // must never reach the To line or a --mail-rcpt argument.
        QCOMPARE(send(settings(), u"a@x.org, b@x.org\r\nc@x.org"_s).failure(),
                 EmailFailure::smtp(u"The email could not be sent because a recipient address "
                                    "contains a line break or another control character."_s));
        AppSettings forged = settings();
        forged.fromAddress = u"ann@example.org\r\nRCPT TO:<victim@example.org>"_s;
        QCOMPARE(send(forged, u"b@x.org"_s).failure().kind(), EmailFailure::Kind::smtp);
        QVERIFY(!curlRan());
    }

    void runsCurlWithTheArgumentList() {
        AppSettings s = settings();
        s.fromAddress.clear();
        s.smtpUser = u"ann@example.org"_s;
        const auto sent = send(s, u"bob@example.org; carol@example.net"_s,
                               {attachment(u"a.pdf"_s), attachment(u"b.png"_s)});
        QVERIFY(sent);
        const QStringList arguments = curlArguments();
        const QString messagePath = arguments.value(5);
        QCOMPARE(arguments,
                 (QStringList{"--silent", "--show-error", "--mail-from", "ann@example.org",
                              "--upload-file", messagePath, "--connect-timeout", "20", "--max-time",
                              "300", "--mail-rcpt", "bob@example.org", "--mail-rcpt",
                              "carol@example.net", "--ssl-reqd", "--config", "-"}));
        // A fresh, private file in the temporary folder, gone afterwards.
        QCOMPARE(QFileInfo(messagePath).absolutePath(), temporary_.path());
        QVERIFY(QRegularExpression(u"/paperlark-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.eml$"_s)
                    .match(messagePath)
                    .hasMatch());
        QCOMPARE(readAll(recorded("mode")), "600\n");
        QVERIFY(leftoverMessages().isEmpty());

        // Port 465 is TLS from the start: smtps, never --ssl-reqd.
        for (const bool tls : {true, false}) {
            installCurl();
            QVERIFY(send(settings(465, tls), u"b@x.org"_s));
            QCOMPARE(readAll(recorded("stdin")),
                     "url = \"smtps://mail.example.org:465\"\n" + writeOut);
            QVERIFY(!curlArguments().contains(u"--ssl-reqd"_s));
        }
    }

    // How the login is quoted is checked against a real server
    // (tst_smtpdelivery); here, that it never shows in the argument list.
    void passesTheLoginOnlyOnStandardInput() {
        AppSettings s = settings();
        QVERIFY(send(s, u"b@x.org"_s));
        QCOMPARE(readAll(recorded("stdin")), "url = \"smtp://mail.example.org:587\"\n" + writeOut);

        for (const QString& user : {u"ann"_s, u"corp:ann"_s}) {
            installCurl();
            s.smtpUser = user + QUuid::createUuid().toString(QUuid::Id128);
            Keychain::set(u"secret-w\u00f6rd"_s, s.smtpUser);
            QVERIFY(send(s, u"b@x.org"_s));
            Keychain::remove(s.smtpUser);
            QVERIFY(readAll(recorded("stdin")).contains("secret-w"));
            QVERIFY(!curlArguments().join(u' ').contains(u"secret"_s));
        }
    }

    void reportsCurlFailures() {
        const QList<QUrl> files{attachment(u"scan.pdf"_s)};
        installCurl(67);
        QCOMPARE(send(settings(), u"b@x.org"_s, files).failure(),
                 EmailFailure::smtp(u"The email could not be sent. curl exited with status 67."_s));
        installCurl(67, "\\n  curl: (67) Login denied \\n\\n");
        QCOMPARE(send(settings(), u"b@x.org"_s, files).failure().description(),
                 u"The email could not be sent. curl: (67) Login denied"_s);
        QVERIFY(leftoverMessages().isEmpty());

        installCurl(55, "curl: (55) MAIL failed: 550", "550");
        QCOMPARE(send(settings(), u"b@x.org"_s, files).failure().description(),
                 u"The email could not be sent. curl: (55) MAIL failed: 550"_s);
        // Sizes in megabytes of a million bytes, to the nearest tenth, and
        // never nothing for something.
        const QList<std::pair<qint64, QString>> sizes{
            {0, u"0.0 MB"_s},       {1, u"0.1 MB"_s},           {149'999, u"0.1 MB"_s},
            {150'000, u"0.2 MB"_s}, {20'000'000, u"20.0 MB"_s}, {26'449'999, u"26.4 MB"_s}};
        for (const auto& [bytes, text] : sizes) {
            QCOMPARE(MessageSize::text(bytes), text);
        }

        // A temporary folder that cannot be written stops the send before curl.
        installCurl();
        qputenv("TMPDIR", QFile::encodeName(files[0].toLocalFile()));
        const auto unwritten = send(settings(), u"b@x.org"_s, files);
        qputenv("TMPDIR", QFile::encodeName(temporary_.path()));
        QCOMPARE(unwritten.failure().kind(), EmailFailure::Kind::file);
        QVERIFY(!curlRan());

        QVERIFY(writeScript(bin_.filePath(u"curl"_s), "#!/nonexistent/interpreter\n"));
        const auto sent = send(settings(), u"b@x.org"_s, files);
        QCOMPARE(sent.failure().kind(), EmailFailure::Kind::launch);
        QVERIFY(sent.failure().description().contains(bin_.filePath(u"curl"_s)));
        QVERIFY(leftoverMessages().isEmpty());
    }

    void runsProcessesWithThreePipes() {
        const auto shell = [](const QString& script, std::optional<QString> input = {}) {
            return EmailService::run(u"/bin/sh"_s, {u"-c"_s, script}, input);
        };
        QCOMPARE(shell(u"cat; printf ' \\n oops \\n\\n' >&2; exit 3"_s, u"h\u00e9llo\n"_s).value(),
                 (ProcessResult{3, u"h\u00e9llo\n"_s, u"oops"_s}));
        // Without input the child sees end of input at once.
        QCOMPARE(EmailService::run(u"/bin/cat"_s, {}).value(), ProcessResult{});
        QCOMPARE(shell(u"printf 'a\\377'"_s).value().outputText, QString());
        // Plenty on both outputs at once stalls neither pipe.
        const auto both = shell(u"head -c 2000000 /dev/zero | tr '\\0' e >&2; "
                                "head -c 2000000 /dev/zero | tr '\\0' o"_s);
        QCOMPARE(both.value().outputText.size(), 2000000);
        QCOMPARE(both.value().errorText.size(), 2000000);

        const auto missing = EmailService::run(u"/nonexistent/program"_s, {});
        QCOMPARE(missing.failure().kind(), EmailFailure::Kind::launch);
        QVERIFY(missing.failure().description().contains(u"/nonexistent/program"_s));
    }
};

QTEST_GUILESS_MAIN(EmailServiceTest)
#include "tst_EmailService.moc"
