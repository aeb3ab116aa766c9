// E-mailing the document: with a stand-in xdg-email first on PATH, a real
// SMTP server on loopback and real documents saved into a fresh home.

#include "../email/LoopbackSmtpServer.h"
#include "SavingParts.h"

#include "../email/StandInPrograms.h"

#include "email/EmailService.h"
#include "email/MessageSize.h"

#include <QDate>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

namespace {

const QString nothingToEmail = QStringLiteral("Scan or add a page before emailing.");
const QString thisYear = QString::number(QDate::currentDate().year());
// Only a hang ever takes this long.
constexpr int sendTimeoutMs = 120000;

} // namespace

class tst_EmailController : public QObject {
    Q_OBJECT

    QTemporaryDir bin_;
    std::optional<PathFront> path_;
    std::unique_ptr<SavingParts> p_;

    QString out(const QString& name = {}) const { return p_->out(name); }
    QStringList outputFiles() const { return QDir(out()).entryList(QDir::Files, QDir::Name); }
    QJsonObject settingsOnDisk() const {
        return readJson(AppSettings::settingsURL().toLocalFile());
    }

    // xdg-email that records its arguments and exits with `status`.
    void installXdgEmail(int status) {
        QFile::remove(bin_.filePath(QStringLiteral("args")));
        QVERIFY(writeScript(bin_.filePath(QStringLiteral("xdg-email")),
                            "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" +
                                bin_.filePath(QStringLiteral("args")).toUtf8() + "'\nexit " +
                                QByteArray::number(status) + "\n"));
    }
    // What the stand-in xdg-email was given; empty when it did not run.
    QStringList xdgEmailArguments() const {
        const QString args = bin_.filePath(QStringLiteral("args"));
        return QFile::exists(args) ? splitRecordedArguments(readFile(args)) : QStringList();
    }

    // Saving into ~/out, sending through a loopback server without a login.
    // openAfterSave is on to show that e-mailing ignores it.
    void configure(OutputFormat format, bool clearAfterSave, int smtpPort = 0) {
        p_->settings.edit([&](AppSettings& s) {
            s.saveFolder = out();
            s.format = format;
            s.openAfterSave = true;
            s.clearPagesAfterSave = clearAfterSave;
            s.fileNamePattern = QStringLiteral("Pattern_{yyyy}");
            s.smtpHost = QStringLiteral("127.0.0.1");
            s.smtpPort = smtpPort;
            s.smtpUseTLS = false;
            s.smtpUser.clear();
            s.fromAddress = QStringLiteral("ann@example.org");
        });
    }

    void send(const QString& recipients, EmailMethod method, const QString& subject = {},
              const QString& body = {}) {
        p_->email.send(recipients, subject, body, method);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(bin_.isValid());
        path_.emplace(bin_.path());
    }

    void cleanupTestCase() { path_.reset(); }

    void init() {
        p_ = std::make_unique<SavingParts>();
        installXdgEmail(0);
    }

    void cleanup() { p_.reset(); }

    void nothingToSendOrSaveFails() {
        configure(OutputFormat::pdf, false);
        p_->email.begin();
        QCOMPARE(p_->error, nothingToEmail);
        QVERIFY(!p_->email.sheetVisible());
        // (Send with nothing to send is below, once the files have gone.)

        // A save that fails sends nothing and stores none of the sheet's entries.
        QVERIFY(p_->add(1));
        QVERIFY(!writeFile(p_->home.filePath(QStringLiteral("blocker")), "file").isEmpty());
        p_->settings.edit([&](AppSettings& s) {
            s.saveFolder = p_->home.filePath(QStringLiteral("blocker/out"));
        });
        send(QStringLiteral("bob@example.org"), EmailMethod::mailClient);
        QVERIFY(p_->error != nothingToEmail);
        QVERIFY(p_->error->startsWith(QStringLiteral("Could not create the folder")));
        QVERIFY(xdgEmailArguments().isEmpty());
        QVERIFY(p_->statuses.isEmpty());
        QVERIFY(p_->settings.settings().defaultRecipient.isEmpty());
        QVERIFY(settingsOnDisk().value("defaultRecipient").toString().isEmpty());
    }

    // Each showing of the sheet tells the size of the message Send would
    // send: pages are measured as they will be saved, leaving no file behind;
    // earlier files by their sizes, with the warning past the common limit.
    void sheetTellsTheSize() {
        configure(OutputFormat::pdf, false);
        p_->settings.edit([](AppSettings& s) { s.defaultRecipient = "bob@example.org"; });
        QVERIFY(p_->add(2));
        p_->email.begin();
        QVERIFY(p_->email.attachmentSize().isEmpty());
        QTRY_VERIFY(!p_->email.attachmentSize().isEmpty());
        QVERIFY(outputFiles().isEmpty());
        const QString measured = p_->email.attachmentSize();
        p_->email.setSheetVisible(false);

        const std::optional<QList<QUrl>> saved = p_->saving.saveCurrentPages();
        QVERIFY(saved && saved->size() == 1);
        const auto sizeOf = [this](const QList<QUrl>& files) {
            const AppSettings& s = p_->settings.settings();
            const auto bytes = EmailService::messageSize(s, s.defaultRecipient, s.emailSubject,
                                                         s.emailBody, files);
            return bytes ? QStringLiteral("1 file(s), ") + MessageSize::text(bytes.value())
                         : QString();
        };
        QCOMPARE(measured, sizeOf(*saved));
        QVERIFY(!p_->email.overCommonLimit());

        p_->document.clear();
        QVERIFY(QFile(saved->first().toLocalFile()).resize(16'000'000));
        p_->email.begin();
        QCOMPARE(p_->email.attachmentSize(), sizeOf(*saved));
        QVERIFY(p_->email.overCommonLimit());
    }

    void sendsEarlierFilesThatStillExist() {
        // Three JPEG pages saved, then cleared by the save.
        configure(OutputFormat::jpg, true);
        QVERIFY(p_->add(3));
        p_->saving.setFileName(QStringLiteral("a"));
        p_->saving.save();
        QVERIFY(p_->document.isEmpty());
        const QStringList saved{out("a_01.jpg"), out("a_02.jpg"), out("a_03.jpg")};
        const QString freshName = p_->saving.fileName();
        p_->desktop->openedUrls.clear();
        p_->email.begin();
        QVERIFY(p_->email.sheetVisible());

        // One of them deleted meanwhile: the other two go, nothing is saved
        // again and nothing is cleared.
        QVERIFY(QFile::remove(saved[1]));
        send(QStringLiteral("bob@example.org"), EmailMethod::mailClient, QStringLiteral("Scans"),
             QStringLiteral("Two left"));
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--subject", "Scans", "--body", "Two left", "--attach",
                              saved[0], "--attach", saved[2], "bob@example.org"}));
        QCOMPARE(p_->status(), EmailService::draftAttachedStatus);
        QCOMPARE(outputFiles(), (QStringList{"a_01.jpg", "a_03.jpg"}));
        QCOMPARE(p_->saving.fileName(), freshName);
        QCOMPARE(p_->error, std::nullopt);
        QVERIFY(p_->desktop->openedUrls.isEmpty());
        const QJsonObject stored = settingsOnDisk();
        QCOMPARE(stored.value("defaultRecipient").toString(), QStringLiteral("bob@example.org"));
        QCOMPARE(stored.value("emailSubject").toString(), QStringLiteral("Scans"));
        QCOMPARE(stored.value("emailBody").toString(), QStringLiteral("Two left"));
        QCOMPARE(stored.value("emailMethod").toString(), QStringLiteral("mailClient"));

        // All of them deleted: the sheet still opens, Send finds nothing and
        // stores nothing.
        QVERIFY(QFile::remove(saved[0]) && QFile::remove(saved[2]));
        p_->email.setSheetVisible(false);
        p_->email.begin();
        QVERIFY(p_->email.sheetVisible());
        installXdgEmail(0);
        send(QStringLiteral("carol@example.org"), EmailMethod::smtp);
        QCOMPARE(p_->error, nothingToEmail);
        QVERIFY(!p_->email.busy());
        QVERIFY(xdgEmailArguments().isEmpty());
        QCOMPARE(settingsOnDisk(), stored);
    }

    void mailClientDraft() {
        configure(OutputFormat::pdf, false);
        QVERIFY(p_->add(2));
        const auto pages = p_->document.pages();
        p_->saving.setFileName(QStringLiteral("letter"));
        p_->scanner = QStringLiteral("test:3");
        QSignalSpy busy(&p_->email, &EmailController::busyChanged);

        // Saved first (the chosen scanner remembered too), the recipients
        // stored as typed; the pages stay when clearing is off.
        send(QStringLiteral(" ann@x.org "), EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter.pdf"), "ann@x.org"}));
        QCOMPARE(p_->status(), EmailService::draftAttachedStatus);
        QCOMPARE(p_->document.pages(), pages);
        QCOMPARE(p_->saving.lastSavedFiles(), QList<QUrl>{QUrl::fromLocalFile(out("letter.pdf"))});
        QVERIFY(p_->desktop->openedUrls.isEmpty());
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:3"));
        QCOMPARE(settingsOnDisk().value("defaultRecipient").toString(),
                 QStringLiteral(" ann@x.org "));

        // Clearing on: a fresh copy goes, then the pages are cleared and the
        // name renewed.
        p_->settings.edit([](AppSettings& s) { s.clearPagesAfterSave = true; });
        send(QStringLiteral("ann@x.org"), EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter (2).pdf"), "ann@x.org"}));
        QCOMPARE(p_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(p_->document.isEmpty());
        QCOMPARE(p_->saving.fileName(), "Pattern_" + thisYear);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(p_->desktop->discardQuestions, 0);
    }

    void smtpDelivers() {
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);
        configure(OutputFormat::pdf, false, server.port);
        QVERIFY(p_->add(2));
        const auto pages = p_->document.pages();
        p_->saving.setFileName(QStringLiteral("scan"));
        const QString typed = QStringLiteral(" bob@example.org; carol@example.net ");

        QSignalSpy busy(&p_->email, &EmailController::busyChanged);
        send(typed, EmailMethod::smtp, QStringLiteral("Invoice"));
        // sendEmail returns while the transfer runs.
        QVERIFY(p_->email.busy());
        QCOMPARE(p_->status(), QStringLiteral("Sending email..."));

        QCOMPARE(settingsOnDisk().value("emailMethod").toString(), QStringLiteral("smtp"));
        QTRY_VERIFY_WITH_TIMEOUT(!p_->email.busy(), sendTimeoutMs);
        QCOMPARE(busy.count(), 2);
        QCOMPARE(p_->error, std::nullopt);
        QCOMPARE(p_->status(), "Email sent to " + typed + ".");
        QCOMPARE(p_->document.pages(), pages);
        QVERIFY(p_->desktop->openedUrls.isEmpty());

        QCOMPARE(server.messageCount(), 1);
        const QJsonObject record = server.record(1);
        QCOMPARE(record.value("mailFrom").toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(record.value("rcptTos").toArray().toVariantList(),
                 (QVariantList{"bob@example.org", "carol@example.net"}));
        QCOMPARE(record.value("subject").toString(), QStringLiteral("Invoice"));
        QCOMPARE(server.read(1, QStringLiteral("attachment-0")), readFile(out("scan.pdf")));

        // Clearing on: a second copy goes, then the pages are cleared.
        p_->settings.edit([](AppSettings& s) { s.clearPagesAfterSave = true; });
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!p_->email.busy(), sendTimeoutMs);
        QCOMPARE(p_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(p_->document.isEmpty());
        QCOMPARE(p_->saving.fileName(), "Pattern_" + thisYear);
        QCOMPARE(server.messageCount(), 2);
        QCOMPARE(server.read(2, QStringLiteral("attachment-0")), readFile(out("scan (2).pdf")));
    }

    void smtpFailureNamesTheFolder() {
        // Refused connection: curl's own reason, a blank line, then where the
        // scan was saved (no trailing slash, whatever the setting holds).
        const ClosedPort closed;
        QVERIFY(closed.port > 0);
        configure(OutputFormat::png, true, closed.port);
        p_->settings.edit([&](AppSettings& s) { s.saveFolder = out() + u'/'; });
        QVERIFY(p_->add(2));
        const auto pages = p_->document.pages();
        p_->saving.setFileName(QStringLiteral("p"));
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!p_->email.busy(), sendTimeoutMs);
        const QString savedTo = "\n\nThe scan was still saved to " + out() + ".";
        QCOMPARE(p_->status(), QStringLiteral("Email failed."));
        const QString message = p_->error.value_or(QString());
        QVERIFY2(message.startsWith(QStringLiteral("The email could not be sent. ")) &&
                     message.endsWith(savedTo) && message.count(u'\n') == 2,
                 qPrintable(message));
        QCOMPARE(p_->document.pages(), pages);
        QCOMPARE(p_->saving.lastSavedFiles(), (QList<QUrl>{QUrl::fromLocalFile(out("p_01.png")),
                                                           QUrl::fromLocalFile(out("p_02.png"))}));
        QVERIFY(p_->email.hasSomethingToSend());

        // Gone before the transfer ends: the outcome is dropped.
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QVERIFY(p_->email.busy());
        p_.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(sendTimeoutMs));
        QCoreApplication::sendPostedEvents();
    }
};

QTEST_GUILESS_MAIN(tst_EmailController)
#include "tst_EmailController.moc"
