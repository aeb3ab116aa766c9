// The whole application with real parts: the main window scanning from
// SANE's test device, a page turned, the pages saved as a PDF (read back with
// pdfinfo) and sent over SMTP to a loopback server, with the status line
// telling each step.
#include "../../email/LoopbackSmtpServer.h"
#include "../../model/TestHome.h"

#include "model/ScannerViewModel.h"
#include "settings/AppSettings.h"
#include "ui/app/PaperlarkApp.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/TesselFooter.h"
#include "ui/email/EmailSheet.h"
#include "ui/main/ContentView.h"
#include "ui/main/MainWindow.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListPanel.h"
#include "ui/main/PreviewPane.h"
#include "ui/main/SaveCard.h"
#include "ui/toolkit/SheetPresenter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <optional>

namespace {

// Only a hang ever takes this long.
constexpr int timeout = 120000;

// "Page N size: W x H pts" of every page, from pdfinfo.
QList<QSizeF> pdfPageSizes(const QString& path) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                              QStringLiteral("-l"), QStringLiteral("1000"), path});
    if (!pdfinfo.waitForFinished(30000) || pdfinfo.exitCode() != 0) {
        return {};
    }
    const QString output = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    static const QRegularExpression size(
        QStringLiteral(R"(Page\s+\d+\s+size:\s+([\d.]+)\s+x\s+([\d.]+)\s+pts)"));
    QList<QSizeF> sizes;
    for (auto match = size.globalMatch(output); match.hasNext();) {
        const auto found = match.next();
        sizes << QSizeF(found.captured(1).toDouble(), found.captured(2).toDouble());
    }
    return sizes;
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
            QSKIP("needs the SANE test backend that scripts/test-env.sh configures");
        }
    }

    void scanTurnSaveAndSend() {
        TestHome home;
        QVERIFY(home.isValid());
        LoopbackSmtpServer server;
        QVERIFY(server.port > 0);

        // The user's preferences, as the settings window would have left them.
        const QString saveFolder = home.filePath(QStringLiteral("Scans"));
        AppSettings settings = AppSettings::defaults();
        settings.saveFolder = saveFolder;
        settings.format = OutputFormat::pdf;
        settings.source = ScanSource::flatbed;
        settings.colour = ColourMode::colour;
        settings.paper = PaperSize::a5;
        settings.dpi = 100;
        settings.openAfterSave = false;
        settings.clearPagesAfterSave = false;
        settings.emailMethod = EmailMethod::smtp;
        settings.defaultRecipient = QStringLiteral("alice@example.org");
        settings.emailSubject = QStringLiteral("Two pages");
        settings.smtpHost = QStringLiteral("127.0.0.1");
        settings.smtpPort = server.port;
        settings.smtpUseTLS = false;
        settings.smtpUser.clear();
        settings.fromAddress = QStringLiteral("scanner@example.org");
        settings.save();

        PaperlarkApp app(*qApp);
        app.start();
        MainWindow* window = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* content = qobject_cast<ContentView*>(window->contentView());
        QVERIFY(content != nullptr);
        ScannerViewModel& model = app.model();

        // SANE's test backend offers two scanners; the first is chosen.
        OptionsCard* options = content->optionsCard();
        QTRY_COMPARE_WITH_TIMEOUT(model.devices().size(), 2, timeout);
        QTRY_VERIFY(options->scanButton()->isEnabled());

        for (int scan = 1; scan <= 2; ++scan) {
            options->scanButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), timeout);
            QCOMPARE(model.errorMessage(), std::nullopt);
            QCOMPARE(model.status(),
                     QStringLiteral("Scanned 1 page(s). %1 page(s) ready.").arg(scan));
        }
        QListView* list = content->pageList()->list();

        // A5 on the test device's glass at 100 dpi: a portrait page.
        const auto first = model.pages().first();
        const QSizeF scanned = first->pixelSize();
        QVERIFY2(scanned.height() > scanned.width(), qPrintable(first->description()));

        // Choose the first page in the list and turn it a quarter.
        const QRect row = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTRY_COMPARE_WITH_TIMEOUT(content->preview()->pictureId(),
                                  std::optional<QUuid>(first->id()), timeout);
        content->pageList()->rotateRightButton()->click();
        QCOMPARE(first->pixelSize(), scanned.transposed());
        QTRY_COMPARE_WITH_TIMEOUT(content->preview()->picture().width() >
                                      content->preview()->picture().height(),
                                  true, timeout);

        // Save: one PDF whose first page is now landscape.
        SaveCard* save = content->saveCard();
        save->fileNameField()->clear();
        QTest::keyClicks(save->fileNameField(), QStringLiteral("Letters"));
        save->saveButton()->click();
        QCOMPARE(model.status(), QStringLiteral("Saved Letters.pdf"));
        const QString pdf = QDir(saveFolder).filePath(QStringLiteral("Letters.pdf"));
        const QList<QSizeF> pages = pdfPageSizes(pdf);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].width() > pages[0].height());
        QVERIFY(pages[1].height() > pages[1].width());
        // 100 dpi: pixels * 72 / 100 points.
        QVERIFY(qAbs(pages[0].width() - scanned.height() * 0.72) < 0.5);
        QVERIFY(qAbs(pages[1].height() - scanned.height() * 0.72) < 0.5);

        // "Save & email...": the sheet comes pre-filled; Send mails a fresh copy.
        save->emailButton()->click();
        QTRY_VERIFY(content->sheetPresenter()->sheet() != nullptr);
        auto* sheet = qobject_cast<EmailSheet*>(content->sheetPresenter()->sheet());
        QVERIFY(sheet != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        auto* recipients = sheet->findChild<QLineEdit*>(QStringLiteral("recipientsField"));
        QVERIFY(recipients != nullptr);
        QCOMPARE(recipients->text(), QStringLiteral("alice@example.org"));
        sheet->sendButton()->click();
        QTRY_VERIFY(content->sheetPresenter()->sheet() == nullptr);
        QVERIFY(!model.emailSheetVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), timeout);
        QCOMPARE(model.errorMessage(), std::nullopt);
        QCOMPARE(model.status(), QStringLiteral("Email sent to alice@example.org."));
        QCOMPARE(window->footer()->trailingStatus(), std::optional<QString>(model.status()));
        // (What the message holds, and the copy it carries, are the e-mail
        // controller's, tested with it.)
        QCOMPARE(server.messageCount(), 1);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_EndToEnd.moc"
