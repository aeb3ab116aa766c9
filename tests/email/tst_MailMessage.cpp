#include "email/MailMessage.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class MailMessageTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;

    QUrl writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(folder_.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                   ? QUrl::fromLocalFile(file.fileName())
                   : QUrl();
    }

    // Rendered with a fixed boundary and date; the random message identifier
    // is checked for its form and replaced by "ID".
    static QByteArray render(const MailMessage& message) {
        const Result<QByteArray, EmailFailure> rendered = message.render(
            u"Paperlark-TEST"_s, QDateTime(QDate(2025, 1, 6), QTime(14, 3, 9), QTimeZone::utc()));
        if (!rendered) {
            return rendered.failure().description().toUtf8();
        }
        static const QRegularExpression id(u"\r\nMessage-ID: <[0-9A-F]{8}(-[0-9A-F]{4}){3}-"
                                           "[0-9A-F]{12}@paperlark>\r\n"_s);
        return QString::fromUtf8(rendered.value())
            .replace(id, u"\r\nMessage-ID: <ID@paperlark>\r\n"_s)
            .toUtf8();
    }

    static QString decodedWord(const QString& word) {
        if (!word.startsWith(u"=?UTF-8?B?") || !word.endsWith(u"?=")) {
            return u"not one encoded word: "_s + word;
        }
        return QString::fromUtf8(QByteArray::fromBase64(word.mid(10).chopped(2).toLatin1()));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        // Dates are written in the system's zone with English names, whatever
        // the user's language.
        qputenv("TZ", "Europe/Berlin");
        qputenv("LC_ALL", "de_DE.UTF-8");
    }

    void textOperations() {
        QCOMPARE(MailMessage::splitRecipients(u" ann@x.org ;, \t bob@y.net , "_s),
                 (QStringList{u"ann@x.org"_s, u"bob@y.net"_s}));
        QCOMPARE(MailMessage::splitRecipients(u" ,;; , \n "_s), QStringList());
        QCOMPARE(MailMessage::splitRecipients(u"a@x.org\nb@x.org"_s),
                 QStringList{u"a@x.org\nb@x.org"_s});

        QCOMPARE(MailMessage::wrap(QString(200, u'x'), 76).split(u"\r\n"_s),
                 (QStringList{QString(76, u'x'), QString(76, u'x'), QString(48, u'x')}));
        QCOMPARE(MailMessage::wrap(QString(), 76), QString());

        QCOMPARE(MailMessage::mimeType(QUrl::fromLocalFile(u"/s/A.JPEG"_s)), u"image/jpeg"_s);
        QCOMPARE(MailMessage::mimeType(QUrl::fromLocalFile(u"/s.pdf/README"_s)),
                 u"application/octet-stream"_s);
    }

    void encodesHeaderValues() {
        QCOMPARE(MailMessage::encodeHeader(u"Scan: \"draft\" <1>"_s), u"Scan: \"draft\" <1>"_s);
        QCOMPARE(MailMessage::encodeHeader(u"Rechnung März"_s),
                 u"=?UTF-8?B?UmVjaG51bmcgTcOkcno=?="_s);
        // However long, one word covering the whole value.
        const QString word = MailMessage::encodeHeader(u"é"_s.repeated(200));
        QVERIFY(!word.mid(10).chopped(2).contains(u'?'));
        QCOMPARE(decodedWord(word), u"é"_s.repeated(200));

        // Control characters, line breaks above all, are never written raw:
        // they could end the header line and start a forged one.
        for (const QString& value :
             {u"Scan\r\nBcc: victim@x.org"_s, u"Scan\nX: y"_s, u"tab\there"_s, u"del\x7f"_s}) {
            QCOMPARE(decodedWord(MailMessage::encodeHeader(value)), value);
        }
    }

    // What a mail parser makes of the parts is checked on delivery
    // (tst_smtpdelivery); here, the headers and line lengths it forgives.
    void rendersMessageWithAttachments() {
        QByteArray hundred;
        for (int i = 0; i < 100; ++i) {
            hundred += char(i);
        }
        const MailMessage message{{u"Doe, Ann"_s},
                                  u"ann@example.org"_s,
                                  {u"bob@example.org"_s, u"carol@example.net"_s},
                                  u"Rechnung März"_s,
                                  u"Grüße"_s,
                                  {writeFile(u"scan 1.pdf"_s, hundred)}};
        const QByteArray text = render(message);
        QVERIFY2(text.startsWith("From: \"Doe, Ann\" <ann@example.org>\r\n"
                                 "To: bob@example.org, carol@example.net\r\n"
                                 "Subject: =?UTF-8?B?UmVjaG51bmcgTcOkcno=?=\r\n"
                                 "Date: Mon, 06 Jan 2025 15:03:09 +0100\r\n"
                                 "Message-ID: <ID@paperlark>\r\n"
                                 "MIME-Version: 1.0\r\n"
                                 "X-Mailer: Paperlark\r\n"
                                 "Content-Type: multipart/mixed; boundary=\"Paperlark-TEST\"\r\n"
                                 "\r\n"),
                 text.constData());
        QVERIFY(text.contains("Content-Type: application/pdf; name=\"scan 1.pdf\"\r\n"));
        QVERIFY(
            text.contains("\r\n\r\nAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4v"
                          "MDEyMzQ1Njc4\r\n"
                          "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiYw==\r\n\r\n"));
        QVERIFY(text.endsWith("\r\n--Paperlark-TEST--\r\n"));
    }

    void rendersMessageWithoutAttachmentsOrBody() {
        const MailMessage message{{}, u"ann@example.org"_s, {u"bob@example.org"_s}, u"Scan"_s, {},
                                  {}};
        // The headers between are those of the message above.
        const QByteArray text = render(message);
        QVERIFY(text.startsWith("From: ann@example.org\r\n"
                                "To: bob@example.org\r\n"
                                "Subject: Scan\r\n"));
        QVERIFY(text.endsWith("--Paperlark-TEST\r\n"
                              "Content-Type: text/plain; charset=UTF-8\r\n"
                              "Content-Transfer-Encoding: base64\r\n"
                              "\r\n"
                              "\r\n"
                              "\r\n"
                              "--Paperlark-TEST--\r\n"));
        QCOMPARE(text.count("--Paperlark-TEST\r\n"), 1);
    }

    void knowsItsSizeBeforeRendering() {
        // Attachments of every length modulo three and around a full line of
        // base64 (57 bytes), names and texts that grow when encoded.
        QList<QUrl> files;
        for (const int length : {0, 1, 2, 3, 56, 57, 58, 114, 1000, 100001}) {
            files << writeFile(u"file %1 \"ä\".pdf"_s.arg(length), QByteArray(length, 'x'));
        }
        const QList<MailMessage> messages{{u"Doe, Ann"_s,
                                           u"ann@example.org"_s,
                                           {u"b@x.org"_s, u"c@y.net"_s},
                                           u"Grüße €"_s,
                                           u"Zeile\nZweite"_s,
                                           files},
                                          {{}, u"a@x.org"_s, {u"b@x.org"_s}, {}, {}, {}},
                                          {u"Ünïcödé"_s,
                                           u"a@x.org"_s,
                                           {u"b@x.org"_s},
                                           u"Scan"_s,
                                           QString(57, u'b'),
                                           files.mid(3, 2)}};
        for (const MailMessage& message : messages) {
            const auto size = message.renderedSize(u"Paperlark-0123"_s);
            const auto rendered = message.render(u"Paperlark-9876"_s, QDateTime::currentDateTime());
            QVERIFY(size && rendered);
            QCOMPARE(size.value(), qint64(rendered.value().size()));
        }
    }

    void failsOnUnreadableAttachments() {
        const QString missing = folder_.filePath(u"missing.pdf"_s);
        for (const QString& path : {missing, folder_.path()}) {
            const MailMessage message{
                {}, u"a@x.org"_s, {u"b@x.org"_s},
                {}, {},           {writeFile(u"ok.pdf"_s, "pdf"), QUrl::fromLocalFile(path)}};
            const auto rendered = message.render(u"B"_s, QDateTime::currentDateTime());
            QVERIFY(!rendered);
            QCOMPARE(rendered.failure().kind(), EmailFailure::Kind::file);
            QVERIFY(rendered.failure().description().contains(path));
            // What cannot be sent cannot be measured.
            QCOMPARE(message.renderedSize(u"B"_s).failure(), rendered.failure());
        }
    }
};

QTEST_GUILESS_MAIN(MailMessageTest)
#include "tst_MailMessage.moc"
