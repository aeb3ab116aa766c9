// The view model's e-mail flow: with a stand-in xdg-email first on PATH, a
// real SMTP server on loopback and real documents saved into a fresh home.

#include "FakeDesktopServices.h"
#include "LoopbackSmtpServer.h"
#include "TestHome.h"

#include "../email/StandInPrograms.h"

#include "email/EmailFailure.h"
#include "email/EmailService.h"
#include "model/ScannerViewModel.h"

#include <QDate>
#include <QDesktopServices>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace {

const QString nothingToEmail = QStringLiteral("Scan or add a page before emailing.");
const QString thisYear = QString::number(QDate::currentDate().year());
// Long enough for a loaded machine; only a hang ever takes this long.
constexpr int sendTimeoutMs = 120000;

// Records every link the model has the desktop open.
class OpenedLinks : public QObject {
    Q_OBJECT
public:
    QList<QUrl> links;
public Q_SLOTS:
    void open(const QUrl& url) { links << url; }
};

} // namespace

class ModelEmailTest : public QObject {
    Q_OBJECT

    QTemporaryDir bin_;
    std::optional<PathFront> path_;
    OpenedLinks opened_;
    std::optional<TestHome> home_;
    std::shared_ptr<FakeDesktopServices> desktop_;
    std::unique_ptr<ScannerViewModel> model_;

    QString inHome(const QString& name) const { return home_->filePath(name); }
    QString out(const QString& name = {}) const {
        return name.isEmpty() ? inHome(QStringLiteral("out")) : inHome("out/" + name);
    }
    QJsonObject settingsOnDisk() const {
        return readJson(AppSettings::settingsURL().toLocalFile());
    }
    QStringList outputFiles() const { return QDir(out()).entryList(QDir::Files, QDir::Name); }

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

    // Saving into ~/out; openAfterSave is on to show that e-mail ignores it.
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
            s.fromName = QStringLiteral("Ann");
            s.fromAddress = QStringLiteral("ann@example.org");
        });
    }

    [[nodiscard]] bool importImages(int count) {
        const qsizetype before = model_->pages().size();
        desktop_->imageFilesAnswer.clear();
        for (int i = 0; i < count; ++i) {
            desktop_->imageFilesAnswer
                << writePng(inHome(QStringLiteral("in/%1.png").arg(before + i)), 30 + i, 40, 100);
        }
        model_->importFiles();
        return model_->pages().size() == before + count;
    }

    QList<QUuid> ids() const {
        QList<QUuid> result;
        for (const auto& page : model_->pages()) {
            result << page->id();
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(bin_.isValid());
        path_.emplace(bin_.path());
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &opened_, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened_, "open");
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        path_.reset();
    }

    void init() {
        home_.emplace();
        QVERIFY(home_->isValid());
        desktop_ = std::make_shared<FakeDesktopServices>();
        model_ = std::make_unique<ScannerViewModel>(desktop_);
        opened_.links.clear();
        installXdgEmail(0);
    }

    void cleanup() {
        model_.reset();
        home_.reset();
    }

    void nothingToSend() {
        configure(OutputFormat::pdf, false);
        model_->beginEmail();
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QVERIFY(!model_->emailSheetVisible());

        model_->setErrorMessage(std::nullopt);
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);
        model_->sendEmail(QStringLiteral("bob@example.org"), QStringLiteral("S"),
                          QStringLiteral("B"), EmailMethod::smtp);
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(model_->status(), QStringLiteral("Ready."));
        QVERIFY(model_->settings().defaultRecipient.isEmpty());
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));
        QVERIFY(xdgEmailArguments().isEmpty());
    }

    void sendsEarlierFilesThatStillExist() {
        // Three JPEG pages saved, then cleared by the save.
        configure(OutputFormat::jpg, true);
        QVERIFY(importImages(3));
        model_->setFileName(QStringLiteral("a"));
        model_->save();
        QVERIFY(model_->pages().isEmpty());
        const QStringList saved{out("a_01.jpg"), out("a_02.jpg"), out("a_03.jpg")};
        QCOMPARE(outputFiles(), (QStringList{"a_01.jpg", "a_02.jpg", "a_03.jpg"}));
        const QString freshName = model_->fileName();
        desktop_->openedUrls.clear();

        model_->beginEmail();
        QVERIFY(model_->emailSheetVisible());
        QCOMPARE(model_->errorMessage(), std::nullopt);

        // One of them deleted meanwhile: the other two go, nothing is saved again.
        QVERIFY(QFile::remove(saved[1]));
        model_->sendEmail(QStringLiteral("bob@example.org"), QStringLiteral("Scans"),
                          QStringLiteral("Two left"), EmailMethod::mailClient);
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

        // All of them deleted: the sheet still opens (nothing is checked
        // there), Send finds nothing and stores nothing.
        QVERIFY(QFile::remove(saved[0]) && QFile::remove(saved[2]));
        model_->setEmailSheetVisible(false);
        model_->beginEmail();
        QVERIFY(model_->emailSheetVisible());
        installXdgEmail(0);
        model_->sendEmail(QStringLiteral("carol@example.org"), QStringLiteral("Other"), QString(),
                          EmailMethod::smtp);
        QCOMPARE(model_->errorMessage(), nothingToEmail);
        QVERIFY(!model_->busy());
        QVERIFY(xdgEmailArguments().isEmpty());
        QCOMPARE(settingsOnDisk(), stored);
        QCOMPARE(model_->settings().defaultRecipient, QStringLiteral("bob@example.org"));
    }

    void failedSaveSendsNothing() {
        configure(OutputFormat::pdf, false);
        QVERIFY(importImages(1));
        QVERIFY(!writeFile(inHome(QStringLiteral("blocker")), "file").isEmpty());
        model_->editSettings(
            [&](AppSettings& s) { s.saveFolder = inHome(QStringLiteral("blocker/out")); });
        model_->setStatus(QStringLiteral("marker"));
        model_->sendEmail(QStringLiteral("bob@example.org"), QStringLiteral("S"), QString(),
                          EmailMethod::mailClient);
        QVERIFY(model_->errorMessage().has_value());
        QVERIFY(model_->errorMessage() != nothingToEmail);
        QVERIFY(xdgEmailArguments().isEmpty());
        QCOMPARE(model_->status(), QStringLiteral("marker"));
        QCOMPARE(model_->pages().size(), 1);
        QVERIFY(model_->settings().defaultRecipient.isEmpty());
        QVERIFY(settingsOnDisk().value("defaultRecipient").toString().isEmpty());
    }

    void mailClientDraft() {
        configure(OutputFormat::pdf, false);
        QVERIFY(importImages(2));
        const QList<QUuid> pages = ids();
        model_->setFileName(QStringLiteral("letter"));
        model_->setSelectedDeviceID(QStringLiteral("test:3"));
        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);

        // Saved first (with the chosen scanner remembered), then handed over
        // as typed; the pages stay when clearing is off.
        model_->sendEmail(QStringLiteral(" ann@x.org "), QString(), QString(),
                          EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter.pdf"), "ann@x.org"}));
        QCOMPARE(model_->status(), EmailService::draftAttachedStatus);
        QCOMPARE(ids(), pages);
        QCOMPARE(model_->lastSavedFiles(), QList<QUrl>{QUrl::fromLocalFile(out("letter.pdf"))});
        QCOMPARE(busy.count(), 0);
        QVERIFY(desktop_->openedUrls.isEmpty());
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:3"));
        QCOMPARE(settingsOnDisk().value("defaultRecipient").toString(),
                 QStringLiteral(" ann@x.org "));

        // A mail client that cannot take attachments: a mailto: link and the
        // folder instead, and the service's second text.
        installXdgEmail(3);
        model_->sendEmail(QStringLiteral("ann@x.org"), QStringLiteral("S"), QString(),
                          EmailMethod::mailClient);
        QCOMPARE(model_->status(), EmailService::draftByHandStatus);
        QTRY_COMPARE(opened_.links.size(), 2);
        QCOMPARE(opened_.links[0].scheme(), QStringLiteral("mailto"));
        QCOMPARE(opened_.links[1], QUrl::fromLocalFile(out()));
        QCOMPARE(outputFiles(), (QStringList{"letter (2).pdf", "letter.pdf"}));

        // Clearing on: a fresh copy is sent, then the pages are cleared and
        // the name renewed.
        installXdgEmail(0);
        model_->editSettings([](AppSettings& s) { s.clearPagesAfterSave = true; });
        model_->sendEmail(QStringLiteral("ann@x.org"), QString(), QString(),
                          EmailMethod::mailClient);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", out("letter (3).pdf"), "ann@x.org"}));
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
        const QList<QUuid> pages = ids();
        model_->setFileName(QStringLiteral("scan"));
        const QString typed = QStringLiteral(" bob@example.org; carol@example.net ");

        QSignalSpy busy(model_.get(), &ScannerViewModel::busyChanged);
        model_->sendEmail(typed, QStringLiteral("Invoice"), QStringLiteral("Hello"),
                          EmailMethod::smtp);
        // sendEmail returns while the transfer runs.
        QVERIFY(model_->busy());
        QCOMPARE(model_->status(), QStringLiteral("Sending email..."));
        QVERIFY(!model_->canSave() && !model_->canEmail());
        QCOMPARE(settingsOnDisk().value("emailMethod").toString(), QStringLiteral("smtp"));
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(busy.count(), 2);
        QCOMPARE(model_->errorMessage(), std::nullopt);
        QCOMPARE(model_->status(), "Email sent to " + typed + ".");
        QCOMPARE(ids(), pages);
        QVERIFY(model_->canEmail());
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
        model_->sendEmail(QStringLiteral("bob@example.org"), QStringLiteral("Again"), QString(),
                          EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(model_->status(), QStringLiteral("Pages cleared."));
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(model_->fileName(), "Pattern_" + thisYear);
        QCOMPARE(server.messageCount(), 2);
        QCOMPARE(server.read(2, QStringLiteral("attachment-0")), readFile(out("scan (2).pdf")));

        // No pages left: the latest document goes again, unsaved and uncleared.
        model_->sendEmail(QStringLiteral("dave@example.org"), QString(), QString(),
                          EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(model_->status(), QStringLiteral("Email sent to dave@example.org."));
        QCOMPARE(server.messageCount(), 3);
        QCOMPARE(server.read(3, QStringLiteral("attachment-0")), readFile(out("scan (2).pdf")));
        QCOMPARE(outputFiles(), (QStringList{"scan (2).pdf", "scan.pdf"}));
    }

    void smtpFailureNamesTheFolder() {
        // Refused connection: curl's own reason, a blank line, then where the
        // scan was saved (no trailing slash, whatever the setting holds).
        const ClosedPort closed;
        QVERIFY(closed.port > 0);
        configure(OutputFormat::png, true, closed.port);
        model_->editSettings([&](AppSettings& s) { s.saveFolder = out() + u'/'; });
        QVERIFY(importImages(2));
        const QList<QUuid> pages = ids();
        model_->setFileName(QStringLiteral("p"));
        model_->sendEmail(QStringLiteral("bob@example.org"), QString(), QString(),
                          EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        const QString savedTo = "\n\nThe scan was still saved to " + out() + ".";
        QCOMPARE(model_->status(), QStringLiteral("Email failed."));
        QVERIFY(model_->errorMessage().has_value());
        const QString message = *model_->errorMessage();
        QVERIFY2(message.startsWith(QStringLiteral("The email could not be sent. ")) &&
                     message.endsWith(savedTo) && message.count(u'\n') == 2,
                 qPrintable(message));
        QCOMPARE(ids(), pages);
        QCOMPARE(model_->lastSavedFiles(), (QList<QUrl>{QUrl::fromLocalFile(out("p_01.png")),
                                                        QUrl::fromLocalFile(out("p_02.png"))}));
        QVERIFY(QFile::exists(out("p_01.png")) && QFile::exists(out("p_02.png")));
        QVERIFY(model_->canEmail());

        // No server configured: the service's sentence, exactly.
        model_->editSettings([](AppSettings& s) { s.smtpHost = QStringLiteral(" \t"); });
        model_->sendEmail(QStringLiteral("bob@example.org"), QString(), QString(),
                          EmailMethod::smtp);
        QTRY_VERIFY_WITH_TIMEOUT(!model_->busy(), sendTimeoutMs);
        QCOMPARE(model_->errorMessage(), EmailFailure::noServer().description() +
                                             "\n\nThe scan was still saved to " + out() + ".");
        QCOMPARE(model_->status(), QStringLiteral("Email failed."));
        QCOMPARE(ids(), pages);
    }

    void modelGoneBeforeTheSendEnds() {
        const ClosedPort closed;
        configure(OutputFormat::pdf, true, closed.port);
        QVERIFY(importImages(1));
        model_->sendEmail(QStringLiteral("bob@example.org"), QString(), QString(),
                          EmailMethod::smtp);
        QVERIFY(model_->busy());
        model_.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(sendTimeoutMs));
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
};

QTEST_MAIN(ModelEmailTest)
#include "tst_ModelEmail.moc"
