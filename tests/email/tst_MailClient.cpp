#include "StandInPrograms.h"
#include "email/EmailService.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records every link the application asks the desktop to open.
class OpenedLinks : public QObject {
    Q_OBJECT
public:
    QList<QUrl> links;
public Q_SLOTS:
    void open(const QUrl& url) { links << url; }
};

// A file manager on the session bus, as desktops provide it.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        Q_UNUSED(startupId);
        shown << uris;
    }
};

} // namespace

// openInMailClient with a stand-in xdg-email first on PATH (or none at all);
// links opened through the desktop are caught by URL handlers.
class MailClientTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir bin_;
    QTemporaryDir empty_;
    QTemporaryDir files_;
    QTemporaryDir record_;
    OpenedLinks opened_;
    QList<QUrl> attachments_;

    QString recorded(const char* name) const { return record_.filePath(QString::fromUtf8(name)); }

    void installXdgEmail(int status, const QByteArray& extra = {}) {
        QFile::remove(recorded("args"));
        QFile::remove(recorded("finished"));
        const QByteArray script = "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" +
                                  recorded("args").toUtf8() + "'\n" + extra + "exit " +
                                  QByteArray::number(status) + "\n";
        QVERIFY(writeScript(bin_.filePath(QStringLiteral("xdg-email")), script));
    }

    QStringList xdgEmailArguments() const {
        return splitRecordedArguments(readAll(recorded("args")));
    }

    QUrl folderOfFirstAttachment() const { return QUrl::fromLocalFile(files_.path()); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(bin_.isValid() && empty_.isValid() && files_.isValid() && record_.isValid());
        for (const QString& name : {QStringLiteral("Scan März 1.pdf"), QStringLiteral("b.png")}) {
            QFile file(files_.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
            attachments_ << QUrl::fromLocalFile(file.fileName());
        }
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &opened_, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened_, "open");
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void init() { opened_.links.clear(); }

    void handsTheDraftToXdgEmail() {
        const PathFront path(bin_.path());
        installXdgEmail(0);
        QCOMPARE(EmailService::openInMailClient(QStringLiteral("ann@x.org; bob@y.org,"),
                                                QStringLiteral("Scan März"),
                                                QStringLiteral("Hallo\nWelt"), attachments_),
                 QStringLiteral("Draft opened in your mail client with the scan attached."));
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--subject", "Scan März", "--body", "Hallo\nWelt",
                              "--attach", attachments_[0].toLocalFile(), "--attach",
                              attachments_[1].toLocalFile(), "ann@x.org", "bob@y.org"}));

        // xdg-email refuses empty texts, so those options are left out.
        installXdgEmail(0);
        QCOMPARE(EmailService::openInMailClient(QStringLiteral("ann@x.org"), QString(), QString(),
                                                {attachments_[1]}),
                 EmailService::draftAttachedStatus);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", attachments_[1].toLocalFile(), "ann@x.org"}));
        QTest::qWait(50);
        QVERIFY(opened_.links.isEmpty());
    }

    void keepsAMailClientThatStaysOpen() {
        // Some mail clients run in xdg-email's foreground until they quit:
        // after a few seconds that counts as success, and the client is left
        // running rather than killed.
        const PathFront path(bin_.path());
        installXdgEmail(0, "sleep 7\ntouch '" + recorded("finished").toUtf8() + "'\n");
        QCOMPARE(EmailService::openInMailClient(QStringLiteral("ann@x.org"), QStringLiteral("S"),
                                                QString(), attachments_),
                 EmailService::draftAttachedStatus);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recorded("finished")), 30000);
        QVERIFY(opened_.links.isEmpty());
    }

    void fallsBackToALinkWhenXdgEmailFails() {
        const PathFront path(bin_.path());
        installXdgEmail(3);
        QCOMPARE(EmailService::openInMailClient(
                     QStringLiteral("ann@x.org; bob@y.org"), QStringLiteral("Scan März"),
                     QStringLiteral("Hallo\nWelt & more=1"), attachments_),
                 QStringLiteral("Draft opened in your mail client. Attach the file from the file "
                                "manager window that just opened."));
        QVERIFY(QFile::exists(recorded("args")));
        // No file manager on the test's session bus: the folder of the first
        // file is opened instead.
        QTRY_COMPARE(opened_.links.size(), 2);
        QCOMPARE(opened_.links[0].toString(QUrl::FullyEncoded),
                 QStringLiteral("mailto:ann@x.org,bob@y.org?subject=Scan%20M%C3%A4rz&body=Hallo%"
                                "0AWelt%20%26%20more%3D1"));
        QCOMPARE(opened_.links[1], folderOfFirstAttachment());
        QTest::qWait(100);
        QCOMPARE(opened_.links.size(), 2);
    }

    void fallsBackWithoutXdgEmail() {
        const PathFront path(empty_.path(), true);
        FileManager fileManager;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));

        QCOMPARE(EmailService::openInMailClient(QStringLiteral("ann@x.org"), QStringLiteral("S"),
                                                QString(), attachments_),
                 EmailService::draftByHandStatus);
        // Only the first file is shown, selected by the file manager.
        QTRY_COMPARE(fileManager.shown, QStringList{attachments_[0].toString(QUrl::FullyEncoded)});
        QCOMPARE(opened_.links,
                 QList<QUrl>{QUrl(QStringLiteral("mailto:ann@x.org?subject=S&body="))});

        bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));

        // Nothing to attach: only the link.
        opened_.links.clear();
        QCOMPARE(EmailService::openInMailClient(QString(), QString(), QString(), {}),
                 EmailService::draftByHandStatus);
        QTest::qWait(100);
        QCOMPARE(opened_.links, QList<QUrl>{QUrl(QStringLiteral("mailto:?subject=&body="))});
    }
};

QTEST_MAIN(MailClientTest)
#include "tst_MailClient.moc"
