#include "StandInPrograms.h"
#include "email/EmailService.h"
#include "settings/Keychain.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

// sendViaSMTP against a stand-in curl first on PATH, which records its
// arguments, its standard input and the message file it was given, and
// answers with a configurable status and error text.
class EmailServiceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir bin_;
    QTemporaryDir files_;
    QTemporaryDir temporary_; // TMPDIR of this test: leftovers are ours alone
    std::optional<QTemporaryDir> record_;

    QString recorded(const char* name) const { return record_->filePath(QString::fromUtf8(name)); }
    bool curlRan() const { return QFile::exists(recorded("args")); }
    QStringList curlArguments() const { return splitRecordedArguments(readAll(recorded("args"))); }

    void answer(int status, const QByteArray& errorText = {}) {
        QFile statusFile(recorded("status"));
        QVERIFY(statusFile.open(QIODevice::WriteOnly));
        statusFile.write(QByteArray::number(status));
        if (!errorText.isEmpty()) {
            QFile errorFile(recorded("stderr"));
            QVERIFY(errorFile.open(QIODevice::WriteOnly));
            errorFile.write(errorText);
        }
    }

    static AppSettings settings(const QString& host, std::int64_t port, bool tls) {
        AppSettings s = AppSettings::defaults();
        s.smtpHost = host;
        s.smtpPort = port;
        s.smtpUseTLS = tls;
        s.smtpUser.clear();
        s.fromName = QStringLiteral("Ann Example");
        s.fromAddress = QStringLiteral("ann@example.org");
        return s;
    }

    QUrl attachment(const QString& name, const QByteArray& bytes) const {
        QFile file(files_.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return QUrl::fromLocalFile(file.fileName());
    }

    static QStringList leftoverMessageFiles() {
        return QDir(QDir::tempPath())
            .entryList({QStringLiteral("paperlark-*.eml")}, QDir::Files | QDir::Hidden);
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
        QVERIFY(bin_.isValid() && files_.isValid() && temporary_.isValid());
        qputenv("TMPDIR", temporary_.path().toLocal8Bit());
    }

    void init() {
        record_.emplace();
        QVERIFY(record_->isValid());
        const QByteArray script = "#!/bin/sh\n"
                                  "out='" +
                                  record_->path().toUtf8() +
                                  "'\n"
                                  "printf '%s\\0' \"$@\" > \"$out/args\"\n"
                                  "cat > \"$out/stdin\"\n"
                                  "previous=\n"
                                  "for argument in \"$@\"; do\n"
                                  "    if [ \"$previous\" = --upload-file ]; then\n"
                                  "        cp \"$argument\" \"$out/message.eml\"\n"
                                  "        stat -c %a \"$argument\" > \"$out/mode\"\n"
                                  "    fi\n"
                                  "    previous=$argument\n"
                                  "done\n"
                                  "[ -f \"$out/stderr\" ] && cat \"$out/stderr\" >&2\n"
                                  "exit \"$(cat \"$out/status\" 2>/dev/null || echo 0)\"\n";
        QVERIFY(writeScript(bin_.filePath(QStringLiteral("curl")), script));
    }

    void checksSettingsAndRecipientsFirst() {
        const PathFront path(bin_.path());
        const auto send = [](const AppSettings& s, const QString& recipients) {
            return EmailService::sendViaSMTP(s, recipients, QStringLiteral("S"),
                                             QStringLiteral("B"), {});
        };
        AppSettings s = settings(QStringLiteral(" \t\u00a0"), 587, true);
        QCOMPARE(send(s, QString()).failure(), EmailFailure::noServer());
        QCOMPARE(EmailFailure::noServer().description(),
                 QStringLiteral("No SMTP server is configured. Open Settings and fill in the "
                                "email section."));

        // Only horizontal blanks are trimmed for the test: a line break counts
        // as a host, so the next check speaks.
        s = settings(QStringLiteral("\n"), 587, true);
        s.fromAddress.clear();
        QCOMPARE(send(s, QStringLiteral("b@x.org")).failure(), EmailFailure::noSender());

        // A blank from address counts as given and does not fall back to the
        // user name.
        s = settings(QStringLiteral("mail.example.org"), 587, true);
        s.fromAddress = QStringLiteral("  ");
        s.smtpUser = QStringLiteral("user@example.org");
        QCOMPARE(send(s, QStringLiteral("b@x.org")).failure(), EmailFailure::noSender());
        QCOMPARE(EmailFailure::noSender().description(),
                 QStringLiteral("No 'from' address is configured. Open Settings and fill in the "
                                "email section."));

        s = settings(QStringLiteral("mail.example.org"), 587, true);
        QCOMPARE(send(s, QStringLiteral(" ;, ,")).failure(), EmailFailure::noRecipient());
        QCOMPARE(EmailFailure::noRecipient().description(),
                 QStringLiteral("Enter at least one recipient address."));
        QCOMPARE(EmailFailure::noMailClient().description(),
                 QStringLiteral("No mail client could be opened."));
        QVERIFY(!curlRan());
    }

    void refusesAddressesWithLineBreaks() {
        const PathFront path(bin_.path());
        const AppSettings s = settings(QStringLiteral("mail.example.org"), 587, true);
        // Two addresses separated only by a line break are one piece, which
        // must never reach the To line or a --mail-rcpt argument.
        Result<void, EmailFailure> sent = EmailService::sendViaSMTP(
            s, QStringLiteral("a@x.org, b@x.org\r\nc@x.org"), QStringLiteral("S"), QString(), {});
        QVERIFY(!sent);
        QCOMPARE(sent.failure().kind(), EmailFailure::Kind::smtp);
        QCOMPARE(sent.failure().description(),
                 QStringLiteral("The email could not be sent because a recipient address "
                                "contains a line break or another control character."));

        AppSettings forged = s;
        forged.fromAddress = QStringLiteral("ann@example.org\r\nRCPT TO:<victim@example.org>");
        sent = EmailService::sendViaSMTP(forged, QStringLiteral("b@x.org"), QStringLiteral("S"),
                                         QString(), {});
        QVERIFY(!sent);
        QCOMPARE(sent.failure().description(),
                 QStringLiteral("The email could not be sent because the sender address "
                                "contains a line break or another control character."));
        QVERIFY(!curlRan());
    }

    void runsCurlWithTheArgumentList() {
        const PathFront path(bin_.path());
        AppSettings s = settings(QStringLiteral("mail.example.org"), 587, true);
        s.fromAddress.clear();
        s.smtpUser = QStringLiteral("ann@example.org");
        const QList<QUrl> files{attachment(QStringLiteral("a.pdf"), "pdf"),
                                attachment(QStringLiteral("b.png"), "png")};
        const Result<void, EmailFailure> sent = EmailService::sendViaSMTP(
            s, QStringLiteral("bob@example.org; carol@example.net"), QString(), QString(), files);
        QVERIFY2(sent, sent ? "" : qPrintable(sent.failure().description()));

        const QStringList arguments = curlArguments();
        QCOMPARE(arguments.size(), 19);
        const QString messagePath = arguments.value(7);
        QCOMPARE(arguments,
                 (QStringList{"--silent", "--show-error", "--url", "smtp://mail.example.org:587",
                              "--mail-from", "ann@example.org", "--upload-file", messagePath,
                              "--connect-timeout", "20", "--max-time", "300", "--mail-rcpt",
                              "bob@example.org", "--mail-rcpt", "carol@example.net", "--ssl-reqd",
                              "--config", "-"}));

        // The message file: a fresh name in the temporary folder, private to
        // the user while it exists, and gone afterwards.
        const QFileInfo info(messagePath);
        QCOMPARE(info.absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        QVERIFY(QRegularExpression(QStringLiteral("^paperlark-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                                  "[0-9A-F]{4}-[0-9A-F]{12}\\.eml$"))
                    .match(info.fileName())
                    .hasMatch());
        QCOMPARE(readAll(recorded("mode")).trimmed(), QByteArray("600"));
        QVERIFY(!QFile::exists(messagePath));

        // The user name is the sender; the default subject applies.
        const QByteArray message = readAll(recorded("message.eml"));
        QVERIFY(message.startsWith("From: Ann Example <ann@example.org>\r\n"
                                   "To: bob@example.org, carol@example.net\r\n"
                                   "Subject: Scanned document\r\n"));
        QVERIFY(message.contains("Content-Type: multipart/mixed; boundary=\"Paperlark-"));
        QVERIFY(message.contains("filename=\"a.pdf\"") && message.contains("filename=\"b.png\""));
    }

    void choosesSchemeAndTlsFromThePort() {
        const PathFront path(bin_.path());
        struct Case {
            std::int64_t port;
            bool tls;
            QString url;
            bool sslRequired;
        };
        const QList<Case> cases{
            {465, true, QStringLiteral("smtps://mail.example.org:465"), false},
            {465, false, QStringLiteral("smtps://mail.example.org:465"), false},
            {25, false, QStringLiteral("smtp://mail.example.org:25"), false},
            {2525, true, QStringLiteral("smtp://mail.example.org:2525"), true},
        };
        for (const Case& c : cases) {
            init();
            QVERIFY(EmailService::sendViaSMTP(
                settings(QStringLiteral("mail.example.org"), c.port, c.tls),
                QStringLiteral("b@x.org"), QStringLiteral("S"), QStringLiteral("B"), {}));
            const QStringList arguments = curlArguments();
            QCOMPARE(arguments.value(3), c.url);
            QCOMPARE(arguments.contains(QStringLiteral("--ssl-reqd")), c.sslRequired);
            QCOMPARE(arguments.mid(arguments.size() - 2),
                     (QStringList{QStringLiteral("--config"), QStringLiteral("-")}));
        }
    }

    void passesTheLoginOnlyOnStandardInput() {
        const PathFront path(bin_.path());
        AppSettings s = settings(QStringLiteral("mail.example.org"), 587, true);

        // No user: empty configuration, and --config - is still passed.
        QVERIFY(EmailService::sendViaSMTP(s, QStringLiteral("b@x.org"), QStringLiteral("S"),
                                          QString(), {}));
        QCOMPARE(readAll(recorded("stdin")), QByteArray());

        // Quotes, backslashes and line breaks in the user name or password
        // cannot end the quoted value or start another option.
        init();
        s.smtpUser = QStringLiteral("ann\"\\%1@example.org").arg(QUuid::createUuid().toString());
        const QString password = QStringLiteral("p\"a\\s\ns\rw\to\u00f6rd");
        Keychain::set(password, s.smtpUser);
        QVERIFY(EmailService::sendViaSMTP(s, QStringLiteral("b@x.org"), QStringLiteral("S"),
                                          QString(), {}));
        Keychain::remove(s.smtpUser);
        const QString expectedUser = QString(s.smtpUser)
                                         .replace(u'\\', QStringLiteral("\\\\"))
                                         .replace(u'"', QStringLiteral("\\\""));
        QCOMPARE(QString::fromUtf8(readAll(recorded("stdin"))),
                 QStringLiteral("user = \"") + expectedUser +
                     QStringLiteral(":p\\\"a\\\\s\\ns\\rw\\to\u00f6rd\"\n"));
        for (const QString& argument : curlArguments()) {
            QVERIFY(!argument.contains(QStringLiteral("w\to")));
        }
    }

    void reportsCurlFailures() {
        const PathFront path(bin_.path());
        const AppSettings s = settings(QStringLiteral("mail.example.org"), 587, true);
        const QList<QUrl> files{attachment(QStringLiteral("scan.pdf"), "pdf")};

        answer(67);
        Result<void, EmailFailure> sent =
            EmailService::sendViaSMTP(s, QStringLiteral("b@x.org"), QString(), QString(), files);
        QVERIFY(!sent);
        QCOMPARE(sent.failure(), EmailFailure::smtp(QStringLiteral(
                                     "The email could not be sent. curl exited with status 67.")));
        QVERIFY(curlRan());

        init();
        answer(67, "\n  curl: (67) Login denied \n\n");
        sent = EmailService::sendViaSMTP(s, QStringLiteral("b@x.org"), QString(), QString(), files);
        QCOMPARE(sent.failure().description(),
                 QStringLiteral("The email could not be sent. curl: (67) Login denied"));
        QVERIFY(!QFile::exists(curlArguments().value(7)));
        QVERIFY(leftoverMessageFiles().isEmpty());

        // A curl that cannot be started: the launch error, message file gone.
        init();
        QVERIFY(writeScript(bin_.filePath(QStringLiteral("curl")), "#!/nonexistent/interpreter\n"));
        sent = EmailService::sendViaSMTP(s, QStringLiteral("b@x.org"), QString(), QString(), files);
        QVERIFY(!sent);
        QCOMPARE(sent.failure().kind(), EmailFailure::Kind::launch);
        QVERIFY(sent.failure().description().contains(bin_.filePath(QStringLiteral("curl"))));
        QVERIFY(leftoverMessageFiles().isEmpty());

        // An unreadable attachment stops the send before curl.
        init();
        sent = EmailService::sendViaSMTP(
            s, QStringLiteral("b@x.org"), QString(), QString(),
            {QUrl::fromLocalFile(files_.filePath(QStringLiteral("gone.pdf")))});
        QCOMPARE(sent.failure().kind(), EmailFailure::Kind::file);
        QVERIFY(!curlRan());
        QVERIFY(leftoverMessageFiles().isEmpty());
    }

    void runsProcessesWithThreePipes() {
        Result<ProcessResult, EmailFailure> result = EmailService::run(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("cat; printf ' \\n oops \\n\\n' >&2; exit 3")},
            QStringLiteral("h\u00e9llo\n"));
        QVERIFY(result);
        QCOMPARE(result.value(),
                 (ProcessResult{3, QStringLiteral("h\u00e9llo\n"), QStringLiteral("oops")}));

        // Without input the child sees end of input at once.
        result = EmailService::run(QStringLiteral("/bin/cat"), {});
        QCOMPARE(result.value(), ProcessResult{});

        // Output that is not UTF-8 reads as empty.
        result = EmailService::run(QStringLiteral("/bin/sh"),
                                   {QStringLiteral("-c"), QStringLiteral("printf 'a\\377'")});
        QCOMPARE(result.value().outputText, QString());

        // Plenty on both outputs at once does not stall either pipe.
        result = EmailService::run(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("head -c 2000000 /dev/zero | tr '\\0' e >&2; head -c 2000000 "
                            "/dev/zero | tr '\\0' o")});
        QCOMPARE(result.value().outputText.size(), 2000000);
        QCOMPARE(result.value().errorText.size(), 2000000);

        result = EmailService::run(QStringLiteral("/nonexistent/program"), {});
        QVERIFY(!result);
        QCOMPARE(result.failure().kind(), EmailFailure::Kind::launch);
        QVERIFY(result.failure().description().contains(QStringLiteral("/nonexistent/program")));
    }
};

QTEST_GUILESS_MAIN(EmailServiceTest)
#include "tst_EmailService.moc"
