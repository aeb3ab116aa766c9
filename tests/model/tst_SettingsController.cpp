// The live settings: the SMTP test message through a real server on
// loopback. (The password in the keyring, and the settings file, are tested
// with the settings window over a real model.)

#include "../email/LoopbackSmtpServer.h"
#include "TestHome.h"

#include "model/SettingsController.h"

#include <QTest>
#include <QThreadPool>

class tst_SettingsController : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;

private Q_SLOTS:
    void init() { home_.emplace(); }
    void cleanup() { home_.reset(); }

    void testMessageReportsItsOutcome() {
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);
        SettingsController settings;
        QStringList lines;
        connect(&settings, &SettingsController::testMessageReported, this,
                [&](const QString& line) { lines << line; });
        settings.edit([&](AppSettings& s) {
            s.emailMethod = EmailMethod::smtp;
            s.defaultRecipient.clear();
            s.fromAddress.clear();
            s.smtpHost = QStringLiteral("127.0.0.1");
            s.smtpPort = server.port;
            s.smtpUseTLS = false;
        });
        settings.sendTestMessage();
        QCOMPARE(lines, QStringList{"Enter a recipient or from address first."});

        // Blanks are a recipient text as typed, not an empty one.
        settings.edit([](AppSettings& s) {
            s.defaultRecipient = QStringLiteral("  ");
            s.fromAddress = QStringLiteral("ann@example.org");
        });
        settings.sendTestMessage();
        QCOMPARE(lines.last(), QStringLiteral("Sending..."));
        QTRY_COMPARE(lines.last(), QStringLiteral("Enter at least one recipient address."));

        // Without a recipient the from address is the target; the settings
        // as edited are used, unsaved, and later edits do not reach a test
        // under way.
        settings.edit([](AppSettings& s) { s.defaultRecipient.clear(); });
        settings.sendTestMessage();
        settings.edit([](AppSettings& s) { s.smtpHost.clear(); });
        QTRY_COMPARE_WITH_TIMEOUT(lines.last(),
                                  QStringLiteral("Test message sent to ann@example.org."), 30000);
        const QJsonObject sent = server.record(1);
        QCOMPARE(sent[QStringLiteral("to")].toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(sent[QStringLiteral("subject")].toString(), SettingsController::testSubject);
        QCOMPARE(sent[QStringLiteral("body")].toString(), SettingsController::testBody);
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));

        // An outcome that arrives after the settings have gone is dropped.
        auto gone = std::make_unique<SettingsController>();
        gone->edit([](AppSettings& s) { s.defaultRecipient = QStringLiteral("a@b.org"); });
        gone->sendTestMessage();
        gone.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(tst_SettingsController)
#include "tst_SettingsController.moc"
