#include "email/MailMessage.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

class MailMessageTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;

    QUrl writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(folder_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write test file");
        }
        return QUrl::fromLocalFile(file.fileName());
    }

    // The random message identifier replaced by a fixed one, after checking
    // its form.
    static QByteArray maskedMessageId(QByteArray message) {
        static const QRegularExpression id(
            QStringLiteral("\r\nMessage-ID: <[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                           "[0-9A-F]{12}@paperlark>\r\n"));
        QString text = QString::fromUtf8(message);
        const qsizetype before = text.size();
        text.replace(id, QStringLiteral("\r\nMessage-ID: <ID@paperlark>\r\n"));
        return text.size() == before ? QByteArray("no message id") : text.toUtf8();
    }

    static QByteArray render(const MailMessage& message) {
        const Result<QByteArray, EmailFailure> rendered =
            message.render(QStringLiteral("Paperlark-TEST"),
                           QDateTime(QDate(2025, 1, 6), QTime(14, 3, 9), QTimeZone::utc()));
        if (!rendered) {
            return "render failed: " + rendered.failure().description().toUtf8();
        }
        return maskedMessageId(rendered.value());
    }

    static QString headerLine(const QByteArray& message, const QString& name) {
        for (const QByteArray& line : message.split('\n')) {
            if (line.startsWith(name.toUtf8() + ": ")) {
                return QString::fromUtf8(line.chopped(1)).mid(name.size() + 2);
            }
        }
        return QStringLiteral("<missing>");
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        // Dates are written in the system's zone with English names,
        // whatever the user's language.
        qputenv("TZ", "Europe/Berlin");
        qputenv("LANG", "de_DE.UTF-8");
        qputenv("LC_ALL", "de_DE.UTF-8");
    }

    void splitsRecipientLines() {
        QCOMPARE(
            MailMessage::splitRecipients(
                QStringLiteral(" ann@example.org ;, \t bob@example.net , ")),
            (QStringList{QStringLiteral("ann@example.org"), QStringLiteral("bob@example.net")}));
        QCOMPARE(MailMessage::splitRecipients(QStringLiteral(" ,;; , \n ")), QStringList());
        QCOMPARE(MailMessage::splitRecipients(QString()), QStringList());
        // Line breaks do not separate; duplicates and order stay.
        QCOMPARE(MailMessage::splitRecipients(QStringLiteral("a@x.org\nb@x.org")),
                 QStringList{QStringLiteral("a@x.org\nb@x.org")});
        QCOMPARE(MailMessage::splitRecipients(QStringLiteral("b@x.org;a@x.org;b@x.org")),
                 (QStringList{QStringLiteral("b@x.org"), QStringLiteral("a@x.org"),
                              QStringLiteral("b@x.org")}));
    }

    void encodesHeaderValues() {
        QCOMPARE(MailMessage::encodeHeader(QStringLiteral("Scan of 3 pages: \"draft\" <1>")),
                 QStringLiteral("Scan of 3 pages: \"draft\" <1>"));
        QCOMPARE(MailMessage::encodeHeader(QStringLiteral("Rechnung März")),
                 QStringLiteral("=?UTF-8?B?UmVjaG51bmcgTcOkcno=?="));

        // However long, one encoded word covering the whole value.
        const QString longValue = QStringLiteral("é").repeated(200);
        const QString word = MailMessage::encodeHeader(longValue);
        QVERIFY(word.startsWith(QStringLiteral("=?UTF-8?B?")) && word.endsWith(u"?="));
        QVERIFY(!word.mid(10).chopped(2).contains(u'?'));
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(word.mid(10).chopped(2).toLatin1())),
                 longValue);

        // Control characters, line breaks above all, are never written raw:
        // they could end the header line and start a forged one.
        const QStringList unsafe{QStringLiteral("Scan\r\nBcc: victim@example.org"),
                                 QStringLiteral("Scan\nX: y"),
                                 QStringLiteral("Scan\rX"),
                                 QStringLiteral("tab\there"),
                                 QString(QChar(0)),
                                 QStringLiteral("del\x7f")};
        for (const QString& value : unsafe) {
            const QString encoded = MailMessage::encodeHeader(value);
            QVERIFY2(encoded.startsWith(QStringLiteral("=?UTF-8?B?")), qPrintable(encoded));
            QCOMPARE(
                QString::fromUtf8(QByteArray::fromBase64(encoded.mid(10).chopped(2).toLatin1())),
                value);
        }
    }

    void wrapsText() {
        const QString text = QString(200, u'x');
        const QStringList lines = MailMessage::wrap(text, 76).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].size(), 76);
        QCOMPARE(lines[1].size(), 76);
        QCOMPARE(lines[2].size(), 48);
        QCOMPARE(MailMessage::wrap(QString(152, u'x'), 76),
                 QString(76, u'x') + QStringLiteral("\r\n") + QString(76, u'x'));
        QCOMPARE(MailMessage::wrap(QString(), 76), QString());
        QCOMPARE(MailMessage::wrap(QStringLiteral("abc"), 1), QStringLiteral("a\r\nb\r\nc"));
        // A character outside the BMP counts once and is not cut in half.
        QCOMPARE(MailMessage::wrap(QStringLiteral("a\U0001F600b\U0001F600"), 2),
                 QStringLiteral("a\U0001F600\r\nb\U0001F600"));
    }

    void choosesMimeTypes() {
        const auto type = [](const char* path) {
            return MailMessage::mimeType(QUrl::fromLocalFile(QString::fromUtf8(path)));
        };
        QCOMPARE(type("/s/Scan.PDF"), QStringLiteral("application/pdf"));
        QCOMPARE(type("/s/photo.JPEG"), QStringLiteral("image/jpeg"));
        QCOMPARE(type("/s/photo.jpg"), QStringLiteral("image/jpeg"));
        QCOMPARE(type("/s/page 1.png"), QStringLiteral("image/png"));
        QCOMPARE(type("/s/a.Tif"), QStringLiteral("image/tiff"));
        QCOMPARE(type("/s/a.tiff"), QStringLiteral("image/tiff"));
        QCOMPARE(type("/s/README"), QStringLiteral("application/octet-stream"));
        QCOMPARE(type("/s.pdf/README"), QStringLiteral("application/octet-stream"));
        QCOMPARE(type("/s/archive.pdf.gz"), QStringLiteral("application/octet-stream"));
        QCOMPARE(type("/s/trailing."), QStringLiteral("application/octet-stream"));
    }

    void rendersMessageWithAttachments() {
        QByteArray hundred;
        for (int i = 0; i < 100; ++i) {
            hundred += char(i);
        }
        const MailMessage message{
            QStringLiteral("Ann Example"),
            QStringLiteral("ann@example.org"),
            {QStringLiteral("bob@example.org"), QStringLiteral("carol@example.net")},
            QStringLiteral("Rechnung März"),
            QStringLiteral("Grüße aus dem Büro\nZweite Zeile"),
            {writeFile(QStringLiteral("scan 1.pdf"), hundred),
             writeFile(QStringLiteral("Photo.JPEG"),
                       QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11))}};
        const QByteArray expected =
            "From: Ann Example <ann@example.org>\r\n"
            "To: bob@example.org, carol@example.net\r\n"
            "Subject: =?UTF-8?B?UmVjaG51bmcgTcOkcno=?=\r\n"
            "Date: Mon, 06 Jan 2025 15:03:09 +0100\r\n"
            "Message-ID: <ID@paperlark>\r\n"
            "MIME-Version: 1.0\r\n"
            "X-Mailer: Paperlark\r\n"
            "Content-Type: multipart/mixed; boundary=\"Paperlark-TEST\"\r\n"
            "\r\n"
            "This is a multi-part message in MIME format.\r\n"
            "\r\n"
            "--Paperlark-TEST\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n"
            "R3LDvMOfZSBhdXMgZGVtIELDvHJvClp3ZWl0ZSBaZWlsZQ==\r\n"
            "\r\n"
            "--Paperlark-TEST\r\n"
            "Content-Type: application/pdf; name=\"scan 1.pdf\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"scan 1.pdf\"\r\n"
            "\r\n"
            "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
            "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiYw==\r\n"
            "\r\n"
            "--Paperlark-TEST\r\n"
            "Content-Type: image/jpeg; name=\"Photo.JPEG\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"Photo.JPEG\"\r\n"
            "\r\n"
            "/9j/4AAQSkZJRgA=\r\n"
            "\r\n"
            "--Paperlark-TEST--\r\n";
        QCOMPARE(render(message), expected);
    }

    void rendersMessageWithoutAttachmentsOrBody() {
        const MailMessage message{QString(),
                                  QStringLiteral("ann@example.org"),
                                  {QStringLiteral("bob@example.org")},
                                  QStringLiteral("Scan"),
                                  QString(),
                                  {}};
        const QByteArray expected = "From: ann@example.org\r\n"
                                    "To: bob@example.org\r\n"
                                    "Subject: Scan\r\n"
                                    "Date: Mon, 06 Jan 2025 15:03:09 +0100\r\n"
                                    "Message-ID: <ID@paperlark>\r\n"
                                    "MIME-Version: 1.0\r\n"
                                    "X-Mailer: Paperlark\r\n"
                                    "Content-Type: multipart/mixed; boundary=\"Paperlark-TEST\"\r\n"
                                    "\r\n"
                                    "This is a multi-part message in MIME format.\r\n"
                                    "\r\n"
                                    "--Paperlark-TEST\r\n"
                                    "Content-Type: text/plain; charset=UTF-8\r\n"
                                    "Content-Transfer-Encoding: base64\r\n"
                                    "\r\n"
                                    "\r\n"
                                    "\r\n"
                                    "--Paperlark-TEST--\r\n";
        QCOMPARE(render(message), expected);

        // Each rendering gets its own message identifier.
        const auto rendered = [&] {
            return message.render(QStringLiteral("B"), QDateTime::currentDateTime()).value();
        };
        QVERIFY(headerLine(rendered(), QStringLiteral("Message-ID")) !=
                headerLine(rendered(), QStringLiteral("Message-ID")));
    }

    void writesDatesInEnglishAndTheLocalZone() {
        MailMessage message{{}, QStringLiteral("a@x.org"), {QStringLiteral("b@x.org")}, {}, {}, {}};
        const QByteArray summer =
            message
                .render(QStringLiteral("B"),
                        QDateTime(QDate(2025, 7, 4), QTime(22, 30, 5), QTimeZone::utc()))
                .value();
        QCOMPARE(headerLine(summer, QStringLiteral("Date")),
                 QStringLiteral("Sat, 05 Jul 2025 00:30:05 +0200"));
        const QByteArray december =
            message
                .render(QStringLiteral("B"),
                        QDateTime(QDate(2024, 12, 31), QTime(9, 5, 0), QTimeZone::utc()))
                .value();
        QCOMPARE(headerLine(december, QStringLiteral("Date")),
                 QStringLiteral("Tue, 31 Dec 2024 10:05:00 +0100"));
    }

    void keepsEveryHeaderOnItsLine() {
        MailMessage message{QStringLiteral("Doe, Jane \"JD\""),
                            QStringLiteral("jane@example.org"),
                            {QStringLiteral("bob@example.org")},
                            QStringLiteral("Hello\r\nBcc: victim@example.org"),
                            QString(),
                            {}};
        QByteArray rendered = render(message);
        // A name with address-list characters stays one quoted mailbox.
        QCOMPARE(headerLine(rendered, QStringLiteral("From")),
                 QStringLiteral("\"Doe, Jane \\\"JD\\\"\" <jane@example.org>"));
        QVERIFY(!rendered.contains("\nBcc:"));
        QCOMPARE(headerLine(rendered, QStringLiteral("Subject")),
                 MailMessage::encodeHeader(message.subject));

        // A name with a line break is encoded; a plain one is left alone.
        message.fromName = QStringLiteral("Jane\nBcc: victim@example.org");
        rendered = render(message);
        QVERIFY(!rendered.contains("\nBcc:"));
        QCOMPARE(headerLine(rendered, QStringLiteral("From")),
                 MailMessage::encodeHeader(message.fromName) +
                     QStringLiteral(" <jane@example.org>"));
        message.fromName = QStringLiteral("Jane Doe");
        QCOMPARE(headerLine(render(message), QStringLiteral("From")),
                 QStringLiteral("Jane Doe <jane@example.org>"));

        // Quotes in a file name are escaped inside the parameter.
        message.attachments = {writeFile(QStringLiteral("the \"final\" scan.png"), "x")};
        QCOMPARE(headerLine(render(message), QStringLiteral("Content-Disposition")),
                 QStringLiteral("attachment; filename=\"the \\\"final\\\" scan.png\""));
    }

    void failsOnUnreadableAttachments() {
        const QUrl present = writeFile(QStringLiteral("present.pdf"), "data");
        const QString missingPath = folder_.filePath(QStringLiteral("missing.pdf"));
        MailMessage message{{},
                            QStringLiteral("a@x.org"),
                            {QStringLiteral("b@x.org")},
                            {},
                            {},
                            {present, QUrl::fromLocalFile(missingPath)}};
        Result<QByteArray, EmailFailure> rendered =
            message.render(QStringLiteral("B"), QDateTime::currentDateTime());
        QVERIFY(!rendered);
        QCOMPARE(rendered.failure().kind(), EmailFailure::Kind::file);
        QVERIFY2(rendered.failure().description().contains(missingPath),
                 qPrintable(rendered.failure().description()));

        message.attachments = {QUrl::fromLocalFile(folder_.path())};
        rendered = message.render(QStringLiteral("B"), QDateTime::currentDateTime());
        QVERIFY(!rendered);
        QCOMPARE(rendered.failure().kind(), EmailFailure::Kind::file);
    }
};

QTEST_GUILESS_MAIN(MailMessageTest)
#include "tst_MailMessage.moc"
