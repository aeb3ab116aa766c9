// The e-mail sheet: pre-filled from the settings on every showing, the Send
// rule, Return and Escape, the growing message field, and handing the values
// to the model before it closes, also as the main window presents it.
#include "../model/FakeDesktopServices.h"

#include "model/ScannerViewModel.h"
#include "ui/DarkAppearance.h"
#include "ui/EmailSheet.h"
#include "ui/FlatButton.h"
#include "ui/GrowingTextEdit.h"
#include "ui/SheetPresenter.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

template <typename T> T* child(const QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no control named %s", name);
    }
    return found;
}

void replaceText(QLineEdit* field, const QString& text) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

} // namespace

class EmailSheetTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<FakeDesktopServices> desktop_ = std::make_shared<FakeDesktopServices>();
    QTemporaryDir files_;

    // A model with the given e-mail settings and, when asked, one page.
    std::unique_ptr<ScannerViewModel> makeModel(bool withPage) {
        auto model = std::make_unique<ScannerViewModel>(desktop_);
        model->editSettings([this](AppSettings& s) {
            s.defaultRecipient = QStringLiteral("team@example.org");
            s.emailSubject = QStringLiteral("Invoices");
            s.emailBody = QStringLiteral("Two pages.");
            s.emailMethod = EmailMethod::smtp;
            s.smtpHost.clear(); // an SMTP send fails at once, in the background
            s.saveFolder = files_.filePath(QStringLiteral("out"));
            s.format = OutputFormat::pdf;
            s.clearPagesAfterSave = false;
        });
        if (withPage) {
            const QString png = files_.filePath(QStringLiteral("page.png"));
            QImage image(40, 60, QImage::Format_RGB32);
            image.fill(Qt::white);
            image.save(png);
            desktop_->imageFilesAnswer = {QUrl::fromLocalFile(png)};
            model->importFiles();
            desktop_->imageFilesAnswer.clear();
        }
        return model;
    }

    QStringList savedFiles() const {
        return QDir(files_.filePath(QStringLiteral("out"))).entryList(QDir::Files);
    }

private Q_SLOTS:
    // The application's own look: style, palette and style sheet.
    void initTestCase() { DarkAppearance::apply(*qApp); }

    void init() {
        QFile::remove(AppSettings::settingsURL().toLocalFile());
        QDir(files_.filePath(QStringLiteral("out"))).removeRecursively();
    }

    void prefilledOnEveryShowing() {
        auto model = makeModel(false);
        model->editSettings([](AppSettings& s) { s.emailSubject.clear(); });
        EmailSheet sheet(*model);
        sheet.show();
        QCOMPARE(sheet.width(), 460);
        QCOMPARE(sheet.recipients(), QStringLiteral("team@example.org"));
        QCOMPARE(sheet.subject(), QStringLiteral("Scanned document"));
        QCOMPARE(sheet.messageBody(), QStringLiteral("Two pages."));
        QCOMPARE(sheet.method(), EmailMethod::smtp);
        QCOMPARE(child<QComboBox>(sheet, "methodPicker")->currentText(),
                 QStringLiteral("SMTP server (send directly)"));

        // Edits, then Escape: nothing stored; the next showing starts from
        // the stored preferences again. A subject of spaces is kept as it is.
        replaceText(child<QLineEdit>(sheet, "recipientsField"), QStringLiteral("x@example.org"));
        replaceText(child<QLineEdit>(sheet, "subjectField"), QStringLiteral("draft"));
        child<QComboBox>(sheet, "methodPicker")->setCurrentIndex(0);
        QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QCOMPARE(model->settings().defaultRecipient, QStringLiteral("team@example.org"));

        model->editSettings([](AppSettings& s) { s.emailSubject = QStringLiteral("   "); });
        sheet.show();
        QCOMPARE(sheet.recipients(), QStringLiteral("team@example.org"));
        QCOMPARE(sheet.subject(), QStringLiteral("   "));
        QCOMPARE(sheet.method(), EmailMethod::smtp);
    }

    void sendNeedsARecipient() {
        auto model = makeModel(true);
        EmailSheet sheet(*model);
        sheet.show();
        auto* to = child<QLineEdit>(sheet, "recipientsField");
        QVERIFY(sheet.sendButton()->isEnabled());
        QVERIFY(sheet.sendButton()->isDefault());

        for (const QString& blank : {QString(), QStringLiteral("   "), QStringLiteral("\t \t")}) {
            to->setText(blank);
            QVERIFY2(!sheet.sendButton()->isEnabled(), qPrintable(blank));
        }
        // Return while Send is disabled does nothing.
        QTest::keyClick(to, Qt::Key_Return);
        QVERIFY(sheet.isVisible());
        sheet.send();
        QVERIFY(sheet.isVisible());
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(model->settings().defaultRecipient, QStringLiteral("team@example.org"));

        QTest::keyClicks(to, QStringLiteral("a"));
        QVERIFY(sheet.sendButton()->isEnabled());
    }

    void sendHandsTheValuesOnAndCloses() {
        auto model = makeModel(true);
        QCOMPARE(model->pages().size(), 1);
        EmailSheet sheet(*model);
        sheet.show();
        replaceText(child<QLineEdit>(sheet, "recipientsField"),
                    QStringLiteral("  bob@example.org, ann@example.org "));
        replaceText(child<QLineEdit>(sheet, "subjectField"), QStringLiteral("Contract"));
        auto* message = child<GrowingTextEdit>(sheet, "messageField");
        message->setFocus();
        message->selectAll();
        QTest::keyClicks(message, QStringLiteral("Hello"));
        // Return inside the message starts a new line and does not send.
        QTest::keyClick(message, Qt::Key_Return);
        QTest::keyClicks(message, QStringLiteral("Bye"));
        QVERIFY(sheet.isVisible());

        QTest::keyClick(child<QLineEdit>(sheet, "subjectField"), Qt::Key_Return);
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Accepted));

        // The pages were saved and the values, untrimmed, became the defaults.
        QCOMPARE(savedFiles().size(), 1);
        const AppSettings& settings = model->settings();
        QCOMPARE(settings.defaultRecipient, QStringLiteral("  bob@example.org, ann@example.org "));
        QCOMPARE(settings.emailSubject, QStringLiteral("Contract"));
        QCOMPARE(settings.emailBody, QStringLiteral("Hello\nBye"));
        QCOMPARE(settings.emailMethod, EmailMethod::smtp);
        // (The SMTP send itself fails: no server is set.)
        QTRY_VERIFY(model->errorMessage().has_value());
        QVERIFY(model->errorMessage()->contains(QStringLiteral("The scan was still saved to ")));

        // The next showing offers what was sent.
        EmailSheet again(*model);
        again.show();
        QCOMPARE(again.recipients(), settings.defaultRecipient);
        QCOMPARE(again.messageBody(), QStringLiteral("Hello\nBye"));
        model->setErrorMessage(std::nullopt);
    }

    void ctrlReturnSendsFromTheMessage() {
        auto model = makeModel(true);
        EmailSheet sheet(*model);
        sheet.show();
        QTest::keyClick(child<GrowingTextEdit>(sheet, "messageField"), Qt::Key_Return,
                        Qt::ControlModifier);
        QVERIFY(!sheet.isVisible());
        QCOMPARE(savedFiles().size(), 1);
        QTRY_VERIFY(!model->busy());
        model->setErrorMessage(std::nullopt);
    }

    void messageGrowsFromThreeToSixLines() {
        auto model = makeModel(false);
        EmailSheet sheet(*model);
        sheet.show();
        auto* message = child<GrowingTextEdit>(sheet, "messageField");
        const int threeLines = message->heightForLines(3);
        const int lineStep = message->heightForLines(4) - threeLines;
        QVERIFY(lineStep > 0);

        message->setPlainText(QStringLiteral("one"));
        QCoreApplication::processEvents();
        QCOMPARE(message->height(), threeLines);
        const int sheetHeight = sheet.height();

        message->setPlainText(QStringLiteral("1\n2\n3\n4\n5"));
        QTRY_COMPARE(message->height(), message->heightForLines(5));
        QTRY_COMPARE(sheet.height(), sheetHeight + 2 * lineStep);

        // Longer text scrolls inside the field; neither it nor the sheet grows further.
        message->setPlainText(QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12"));
        QTRY_COMPARE(message->height(), message->heightForLines(6));
        QTRY_COMPARE(sheet.height(), sheetHeight + 3 * lineStep);
        QVERIFY(message->verticalScrollBar()->maximum() > 0);
        QCOMPARE(sheet.width(), 460);

        // One long line wraps, and its wrapped lines count.
        message->setPlainText(
            QString(400, u'w').replace(QStringLiteral("wwwww"), QStringLiteral("wwww ")));
        QTRY_COMPARE(message->height(), message->heightForLines(6));
    }

    void presentedOverTheMainWindow() {
        auto model = makeModel(true);
        QWidget window;
        window.resize(600, 400);
        window.show();
        ScannerViewModel& m = *model;
        auto* presenter = SheetPresenter::bind(
            &window, &m, &ScannerViewModel::emailSheetVisibleChanged,
            [&m] { return m.emailSheetVisible(); },
            [&m](QWidget* parent) { return new EmailSheet(m, parent); },
            [&m] { m.setEmailSheetVisible(false); });

        // Escape closes it and clears the flag; nothing is sent.
        model->beginEmail();
        QPointer<QDialog> sheet = presenter->sheet();
        QVERIFY(sheet != nullptr);
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(!model->emailSheetVisible());
        QTRY_VERIFY(sheet.isNull());
        QVERIFY(savedFiles().isEmpty());

        // Return sends and the sheet goes at once.
        model->beginEmail();
        sheet = presenter->sheet();
        QVERIFY(sheet != nullptr);
        QTest::keyClick(child<QLineEdit>(*sheet, "recipientsField"), Qt::Key_Return);
        QVERIFY(!model->emailSheetVisible());
        QTRY_VERIFY(sheet.isNull());
        QCOMPARE(savedFiles().size(), 1);
        QTRY_VERIFY(!model->busy());
        model->setErrorMessage(std::nullopt);
    }
};

QTEST_MAIN(EmailSheetTest)
#include "tst_EmailSheet.moc"
