#include "StandInPrograms.h"
#include "email/EmailService.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

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
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

} // namespace

// openInMailClient with a stand-in xdg-email first on PATH, or none at all;
// links opened through the desktop are caught by URL handlers.
class MailClientTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir bin_;
    QTemporaryDir empty_;
    QTemporaryDir files_;
    OpenedLinks opened_;
    QList<QUrl> attachments_;

    QString recorded(const QString& name) const { return files_.filePath(name); }

    void installXdgEmail(int status, const QByteArray& extra = {}) {
        QFile::remove(recorded(u"args"_s));
        QVERIFY(writeScript(bin_.filePath(u"xdg-email"_s),
                            "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + recorded(u"args"_s).toUtf8() +
                                "'\n" + extra + "exit " + QByteArray::number(status) + "\n"));
    }

    QStringList xdgEmailArguments() const {
        return splitRecordedArguments(readAll(recorded(u"args"_s)));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(bin_.isValid() && empty_.isValid() && files_.isValid());
        for (const QString& name : {u"Scan März 1.pdf"_s, u"b.png"_s}) {
            QFile file(files_.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            attachments_ << QUrl::fromLocalFile(file.fileName());
        }
        QDesktopServices::setUrlHandler(u"mailto"_s, &opened_, "open");
        QDesktopServices::setUrlHandler(u"file"_s, &opened_, "open");
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(u"mailto"_s);
        QDesktopServices::unsetUrlHandler(u"file"_s);
    }

    void init() { opened_.links.clear(); }

    // (The whole argument list, with and without subject and body, is tested
    // through the model's e-mail flow.)
    void handsTheDraftToXdgEmail() {
        const PathFront path(bin_.path());
        // A mail client in xdg-email's foreground counts as success after a
        // few seconds, and is left running rather than killed.
        installXdgEmail(0, "sleep 7\ntouch '" + recorded(u"finished"_s).toUtf8() + "'\n");
        QCOMPARE(EmailService::openInMailClient(u"ann@x.org; bob@y.org,"_s, {}, {}, attachments_),
                 u"Draft opened in your mail client with the scan attached."_s);
        QCOMPARE(xdgEmailArguments(),
                 (QStringList{"--utf8", "--attach", attachments_[0].toLocalFile(), "--attach",
                              attachments_[1].toLocalFile(), "ann@x.org", "bob@y.org"}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recorded(u"finished"_s)), 30000);
        QVERIFY(opened_.links.isEmpty());
    }

    void fallsBackToALinkWhenXdgEmailFails() {
        const PathFront path(bin_.path());
        installXdgEmail(3);
        QCOMPARE(EmailService::openInMailClient(u"ann@x.org; bob@y.org"_s, u"Scan März"_s,
                                                u"Hallo\nWelt & more=1"_s, attachments_),
                 u"Draft opened in your mail client. Attach the file from the file manager "
                 "window that just opened."_s);
        QVERIFY(QFile::exists(recorded(u"args"_s)));
        // No file manager on the test's session bus: the first file's folder
        // is opened instead.
        QTRY_COMPARE(opened_.links.size(), 2);
        QCOMPARE(opened_.links[0].toString(QUrl::FullyEncoded),
                 u"mailto:ann@x.org,bob@y.org?subject=Scan%20M%C3%A4rz&body=Hallo%0AWelt%20%26%"
                 "20more%3D1"_s);
        QCOMPARE(opened_.links[1], QUrl::fromLocalFile(files_.path()));
    }

    void fallsBackWithoutXdgEmail() {
        const PathFront path(empty_.path(), true);
        FileManager fileManager;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(u"/org/freedesktop/FileManager1"_s, &fileManager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.FileManager1"_s));
        QCOMPARE(EmailService::openInMailClient(u"ann@x.org"_s, u"S"_s, {}, attachments_),
                 EmailService::draftByHandStatus);
        // Only the first file is shown, selected by the file manager.
        QTRY_COMPARE(fileManager.shown, QStringList{attachments_[0].toString(QUrl::FullyEncoded)});
        QCOMPARE(opened_.links, QList<QUrl>{QUrl(u"mailto:ann@x.org?subject=S&body="_s)});
        bus.unregisterService(u"org.freedesktop.FileManager1"_s);
        bus.unregisterObject(u"/org/freedesktop/FileManager1"_s);

        // Nothing attached: only the link.
        opened_.links.clear();
        QCOMPARE(EmailService::openInMailClient({}, {}, {}, {}), EmailService::draftByHandStatus);
        QTest::qWait(100);
        QCOMPARE(opened_.links, QList<QUrl>{QUrl(u"mailto:?subject=&body="_s)});
    }
};

QTEST_MAIN(MailClientTest)
#include "tst_MailClient.moc"
