// The e-mail sheet: pre-filled from the settings on every showing, the Send
// rule, Return and Escape, the growing message field, and handing the values
// to the model as it closes. (How the main window presents it is tested
// with the main window.)
#include "../../model/FakeDesktopServices.h"
#include "../../model/TestHome.h"

#include "model/ScannerViewModel.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/GrowingTextEdit.h"
#include "ui/email/EmailSheet.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

class EmailSheetTest : public QObject {
    Q_OBJECT

    std::shared_ptr<FakeDesktopServices> desktop_ = std::make_shared<FakeDesktopServices>();
    QTemporaryDir files_;
    std::optional<TestHome> home_; // settings file and cache of each case
    std::unique_ptr<ScannerViewModel> model_;

    QStringList savedFiles() const {
        return QDir(files_.filePath(QStringLiteral("out"))).entryList(QDir::Files);
    }

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }

    // A model with one page and e-mail defaults; SMTP without a server, so a
    // send saves the page and then fails at once in the background.
    void init() {
        home_.emplace();
        QDir(files_.filePath(QStringLiteral("out"))).removeRecursively();
        model_ = std::make_unique<ScannerViewModel>(desktop_);
        model_->editSettings([this](AppSettings& s) {
            s.defaultRecipient = QStringLiteral("team@example.org");
            s.emailSubject.clear();
            s.emailBody = QStringLiteral("Two pages.");
            s.emailMethod = EmailMethod::smtp;
            s.smtpHost.clear();
            s.saveFolder = files_.filePath(QStringLiteral("out"));
            s.clearPagesAfterSave = false;
        });
        QImage page(40, 60, QImage::Format_RGB32);
        page.fill(Qt::white);
        page.save(files_.filePath(QStringLiteral("page.png")));
        desktop_->imageFilesAnswer = {QUrl::fromLocalFile(files_.filePath("page.png"))};
        model_->importFiles();
        QTRY_VERIFY(!model_->importing());
    }
    void cleanup() {
        QTRY_VERIFY(!model_->busy());
        model_.reset();
        home_.reset();
    }

    void prefilledOnEveryShowingAndEscape() {
        EmailSheet sheet(*model_);
        sheet.show();
        QCOMPARE(sheet.recipients(), QStringLiteral("team@example.org"));
        QCOMPARE(sheet.subject(), QStringLiteral("Scanned document")); // stored one empty
        QCOMPARE(sheet.messageBody(), QStringLiteral("Two pages."));
        QCOMPARE(sheet.findChild<QComboBox*>("methodPicker")->currentText(),
                 QStringLiteral("SMTP server (send directly)"));

        // Edits, then Escape: nothing sent or stored; the next showing starts
        // from the stored values again. A subject of spaces is kept.
        sheet.findChild<QLineEdit*>("recipientsField")->setText(QStringLiteral("x@example.org"));
        sheet.findChild<QComboBox*>("methodPicker")->setCurrentIndex(0);
        QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.isVisible());
        QVERIFY(savedFiles().isEmpty());
        model_->editSettings([](AppSettings& s) { s.emailSubject = QStringLiteral("  "); });
        sheet.show();
        QCOMPARE(sheet.recipients(), QStringLiteral("team@example.org"));
        QCOMPARE(sheet.subject(), QStringLiteral("  "));
        QCOMPARE(sheet.method(), EmailMethod::smtp);
    }

    // The line under the form tells what will be attached, once the model knows.
    void showsTheSize() {
        model_->beginEmail();
        EmailSheet sheet(*model_);
        sheet.show();
        auto* size = sheet.findChild<QLabel*>("attachmentSizeLabel");
        QTRY_VERIFY(size->text().startsWith(QStringLiteral("1 file(s), ")));
        QVERIFY(size->text().endsWith(QStringLiteral(" MB")));
        QVERIFY(!sheet.findChild<QLabel*>("attachmentSizeWarning")->isVisible());
        model_->setEmailSheetVisible(false);
    }

    void sendNeedsARecipient() {
        EmailSheet sheet(*model_);
        sheet.show();
        auto* to = sheet.findChild<QLineEdit*>("recipientsField");
        for (const QString& blank : {QString(), QStringLiteral("   "), QStringLiteral("\t \t")}) {
            to->setText(blank);
            QVERIFY2(!sheet.sendButton()->isEnabled(), qPrintable(blank));
        }
        QTest::keyClick(to, Qt::Key_Return); // does nothing while disabled
        sheet.send();
        QVERIFY(sheet.isVisible());
        QVERIFY(savedFiles().isEmpty());
        QTest::keyClicks(to, QStringLiteral("a"));
        QVERIFY(sheet.sendButton()->isEnabled());
    }

    void returnSendsAndCloses() {
        ScannerViewModel& model = *model_;
        auto sheet = std::make_unique<EmailSheet>(model);
        sheet->show();

        auto* to = sheet->findChild<QLineEdit*>("recipientsField");
        to->selectAll();
        QTest::keyClicks(to, QStringLiteral("  bob@example.org, ann@example.org "));
        auto* message = sheet->findChild<GrowingTextEdit*>("messageField");
        message->setFocus();
        message->selectAll();
        QTest::keyClicks(message, QStringLiteral("Hello"));
        QTest::keyClick(message, Qt::Key_Return); // a new line, not Send
        QTest::keyClicks(message, QStringLiteral("Bye"));
        QVERIFY(sheet->isVisible());

        QTest::keyClick(to, Qt::Key_Return);
        QVERIFY(!sheet->isVisible());
        QCOMPARE(savedFiles().size(), 1);
        // The values as typed became the defaults before the send failed.
        QCOMPARE(model.settings().defaultRecipient,
                 QStringLiteral("  bob@example.org, ann@example.org "));
        QCOMPARE(model.settings().emailSubject, QStringLiteral("Scanned document"));
        QCOMPARE(model.settings().emailBody, QStringLiteral("Hello\nBye"));
        QTRY_VERIFY(model.errorMessage().has_value());

        // Ctrl+Return sends from inside the message.
        sheet = std::make_unique<EmailSheet>(model);
        sheet->show();
        QTest::keyClick(sheet->findChild<GrowingTextEdit*>("messageField"), Qt::Key_Return,
                        Qt::ControlModifier);
        QVERIFY(!sheet->isVisible());
        QTRY_COMPARE(savedFiles().size(), 2);
    }

    void messageGrowsFromThreeToSixLines() {
        EmailSheet sheet(*model_);
        sheet.show();
        auto* message = sheet.findChild<GrowingTextEdit*>("messageField");
        const int lineStep = message->heightForLines(4) - message->heightForLines(3);
        QVERIFY(lineStep > 0);
        message->setPlainText(QStringLiteral("one"));
        QTRY_COMPARE(message->height(), message->heightForLines(3));
        const int sheetHeight = sheet.height();

        message->setPlainText(QStringLiteral("1\n2\n3\n4\n5"));
        QTRY_COMPARE(message->height(), message->heightForLines(5));
        QTRY_COMPARE(sheet.height(), sheetHeight + 2 * lineStep);
        // Beyond six lines the text scrolls; neither field nor sheet grows.
        message->setPlainText(QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10"));
        QTRY_COMPARE(message->height(), message->heightForLines(6));
        QTRY_COMPARE(sheet.height(), sheetHeight + 3 * lineStep);
        QVERIFY(message->verticalScrollBar()->maximum() > 0);
        // Wrapped lines count as lines.
        message->setPlainText(QStringLiteral("wrap me ").repeated(60));
        QTRY_COMPARE(message->height(), message->heightForLines(6));
    }
};

QTEST_MAIN(EmailSheetTest)
#include "tst_EmailSheet.moc"
