// The view model's e-mail flow: with a stand-in xdg-email first on PATH, a
// real SMTP server on loopback and real documents saved into a fresh home.

#include "../email/LoopbackSmtpServer.h"
#include "ModelFixture.h"

#include "../email/StandInPrograms.h"

#include "email/EmailFailure.h"
#include "email/EmailService.h"

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

class ModelEmailTest : public QObject, ModelFixture {
    Q_OBJECT

    QTemporaryDir bin_;
    std::optional<PathFront> path_;

    QString out(const QString& name = {}) const {
        return home_->filePath(name.isEmpty() ? QStringLiteral("out") : "out/" + name);
    }
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
        model_->editSettings([&](AppSettings& s) {
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
        model_->sendEmail(recipients, subject, body, method);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(bin_.isValid());
        path_.emplace(bin_.path());
    }

    void cleanupTestCase() { path_.reset(); }

    void init() {
        QVERIFY(startCase());
        // The scanner list's first delivery, so that it cannot overwrite a
        // status later.
        QCoreApplication::sendPostedEvents();
        installXdgEmail(0);
    }

    void cleanup() { endCase(); }

    void nothingToSendOrSaveFails() {
        configure(OutputFormat::pdf, false);
        model_->beginEmail();
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QVERIFY(!model_->emailSheetVisible());

        model_->setErrorMessage(std::nullopt);
        const QString status = model_->status();
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(model_->status(), status);
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));

        // A save that fails sends nothing and stores none of the sheet's entries.
        QVERIFY(importImages(1));
        QVERIFY(!writeFile(home_->filePath(QStringLiteral("blocker")), "file").isEmpty());
        model_->editSettings(
            [&](AppSettings& s) { s.saveFolder = home_->filePath(QStringLiteral("blocker/out")); });
        send(QStringLiteral("bob@example.org"), EmailMethod::mailClient);
        QVERIFY(model_->errorMessage() != nothingToEmail);
        QVERIFY(model_->errorMessage()->startsWith(QStringLiteral("Could not create the folder")));
        QVERIFY(xdgEmailArguments().isEmpty());
        QCOMPARE(model_->status(), QStringLiteral("1 page(s) ready."));
        QVERIFY(model_->settings().defaultRecipient.isEmpty());
        QVERIFY(settingsOnDisk().value("defaultRecipient").toString().isEmpty());
    }

    void sendsEarlierFilesThatStillExist() {
        // Three JPEG pages saved, then cleared by the save.
        configure(OutputFormat::jpg, true);
        QVERIFY(importImages(3));
        model_->setFileName(QStringLiteral("a"));
        model_->save();
        QVERIFY(model_->pages().isEmpty());
        const QStringList saved{out("a_01.jpg"), out("a_02.jpg"), out("a_03.jpg")};
        const QString freshName = model_->fileName();
        desktop_->openedUrls.clear();
        model_->beginEmail();
        QVERIFY(model_->emailSheetVisible());

        // One of them deleted meanwhile: the other two go, nothing is saved
        // again and nothing is cleared.
        QVERIFY(QFile::remove(saved[1]));
        send(QStringLiteral("bob@example.org"), EmailMethod::mailClient, QStringLiteral("Scans"),
             QStringLiteral("Two left"));
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--subject", "Scans", "--body", "Two left", "--attach",
                              saved[0], "--attach", saved[2], "bob@example.org"}));
        QCOMPARE(model_->status(), EmailService::draftAttachedStatus);
        QCOMPARE(outputFiles(), (QStringList{"a_01.jpg", "a_03.jpg"}));
        QCOMPARE(model_->fileName(), freshName);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QVERIFY(desktop_->openedUrls.isEmpty());
        const QJsonObject stored = settingsOnDisk();
        QCOMPARE(stored.value("defaultRecipient").toString(), QStringLiteral("bob@example.org"));
        QCOMPARE(stored.value("emailSubject").toString(), QStringLiteral("Scans"));
        QCOMPARE(stored.value("emailBody").toString(), QStringLiteral("Two left"));
        QCOMPARE(stored.value("emailMethod").toString(), QStringLiteral("mailClient"));

        // All of them deleted: the sheet still opens, Send finds nothing and
        // stores nothing.
        QVERIFY(QFile::remove(saved[0]) && QFile::remove(saved[2]));
        model_->setEmailSheetVisible(false);
        model_->beginEmail();
        QVERIFY(model_->emailSheetVisible());
        installXdgEmail(0);
        send(QStringLiteral("carol@example.org"), EmailMethod::smtp);
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QVERIFY(!model_->busy());
        QVERIFY(xdgEmailArguments().isEmpty());
        QCOMPARE(settingsOnDisk(), stored);
    }

    void mailClientDraft() {
        configure(OutputFormat::pdf, false);
        QVERIFY(importImages(2));
        const auto pages = model_->pages();
        model_->setFileName(QStringLiteral("letter"));
        model_->setSelectedDeviceID(QStringLiteral("test:3"));
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);

        // Saved first (the chosen scanner remembered too), the recipients
        // stored as typed; the pages stay when clearing is off.
        send(QStringLiteral(" ann@x.org "), EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter.pdf"), "ann@x.org"}));
        QCOMPARE(model_->status(), EmailService::draftAttachedStatus);
        QCOMPARE(model_->pages(), pages);
        QCOMPARE(model_->lastSavedFiles(), QList<QUrl>{QUrl::fromLocalFile(out("letter.pdf"))});
        QVERIFY(desktop_->openedUrls.isEmpty());
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:3"));
        QCOMPARE(settingsOnDisk().value("defaultRecipient").toString(),
                 QStringLiteral(" ann@x.org "));

        // Clearing on: a fresh copy goes, then the pages are cleared and the
        // name renewed.
        model_->editSettings([](AppSettings& s) { s.clearPagesAfterSave = true; });
        send(QStringLiteral("ann@x.org"), EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter (2).pdf"), "ann@x.org"}));
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->fileName(), "Pattern_" + thisYear);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(desktop_->discardQuestions, 0);
    }

    void smtpDelivers() {
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);
        configure(OutputFormat::pdf, false, server.port);
        QVERIFY(importImages(2));
        const auto pages = model_->pages();
        model_->setFileName(QStringLiteral("scan"));
        const QString typed = QStringLiteral(" bob@example.org; carol@example.net ");

        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);
        send(typed, EmailMethod::smtp, QStringLiteral("Invoice"));
        // sendEmail returns while the transfer runs.
        QVERIFY(model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Sending email..."));
        QVERIFY(!model_->canSave() && !model_->canEmail());
        QCOMPARE(settingsOnDisk().value("emailMethod").toString(), QStringLiteral("smtp"));
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(busy.count(), 2);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->status(), "Email sent to " + typed + ".");
        QCOMPARE(model_->pages(), pages);
        QVERIFY(desktop_->openedUrls.isEmpty());

        QCOMPARE(server.messageCount(), 1);
        const QJsonObject record = server.record(1);
        QCOMPARE(record.value("mailFrom").toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(record.value("rcptTos").toArray().toVariantList(),
                 (QVariantList{"bob@example.org", "carol@example.net"}));
        QCOMPARE(record.value("subject").toString(), QStringLiteral("Invoice"));
        QCOMPARE(server.read(1, QStringLiteral("attachment-0")), readFile(out("scan.pdf")));

        // Clearing on: a second copy goes, then the pages are cleared.
        model_->editSettings([](AppSettings& s) { s.clearPagesAfterSave = true; });
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->fileName(), "Pattern_" + thisYear);
        QCOMPARE(server.messageCount(), 2);
        QCOMPARE(server.read(2, QStringLiteral("attachment-0")), readFile(out("scan (2).pdf")));
    }

    void smtpFailureNamesTheFolder() {
        // Refused connection: curl's own reason, a blank line, then where the
        // scan was saved (no trailing slash, whatever the setting holds).
        const ClosedPort closed;
        QVERIFY(closed.port > 0);
        configure(OutputFormat::png, true, closed.port);
        model_->editSettings([&](AppSettings& s) { s.saveFolder = out() + u'/'; });
        QVERIFY(importImages(2));
        const auto pages = model_->pages();
        model_->setFileName(QStringLiteral("p"));
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        const QString savedTo = "\n\nThe scan was still saved to " + out() + ".";
        QCOMPARE(model_->status(), QStringLiteral("Email failed."));
        const QString message = model_->errorMessage().value_or(QString());
        QVERIFY2(message.startsWith(QStringLiteral("The email could not be sent. ")) &&
                     message.endsWith(savedTo) && message.count(u'\n') == 2,
                 qPrintable(message));
        QCOMPARE(model_->pages(), pages);
        QCOMPARE(model_->lastSavedFiles(), (QList<QUrl>{QUrl::fromLocalFile(out("p_01.png")),
                                                        QUrl::fromLocalFile(out("p_02.png"))}));
        QVERIFY(model_->canEmail());

        // No server configured: the service's sentence, exactly.
        model_->editSettings([](AppSettings& s) { s.smtpHost = QStringLiteral(" \t"); });
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(model_->errorMessage(), EmailFailure::noServer().description() + savedTo);
        QCOMPARE(model_->pages(), pages);

        // The model gone before the transfer ends: the outcome is dropped.
        send(QStringLiteral("bob@example.org"), EmailMethod::smtp);
        QVERIFY(model_->busy());
        model_.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(sendTimeoutMs));
        QCoreApplication::sendPostedEvents();
    }
};

QTEST_GUILESS_MAIN(ModelEmailTest)
#include "tst_ModelEmail.moc"
