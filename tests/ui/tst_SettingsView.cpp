// The settings window's content: bindings into the live settings, the SMTP
// rows that follow the sending method, the JPEG slider, the password in the
// (test session's real) keyring, the SMTP test and saving on close.
#include "../model/FakeDesktopServices.h"
#include "UiTestSupport.h"

#include "model/ScannerViewModel.h"
#include "settings/Keychain.h"
#include "settings/Resolutions.h"
#include "ui/DarkAppearance.h"
#include "ui/FlatButton.h"
#include "ui/SettingsView.h"
#include "ui/SettingsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

namespace {

// A real SMTP server (Debian's aiosmtpd) on a free loopback port, as the
// e-mail tests use it; it stores each accepted message in a numbered folder.
class SmtpServer {
public:
    SmtpServer() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/email/smtp_server.py"),
                        QStringLiteral("--folder"), folder_.path()});
        QByteArray line;
        while (!line.endsWith('\n') && process_.waitForReadyRead(30000)) {
            line += process_.readLine();
        }
        port = line.startsWith("READY ") ? line.mid(6).trimmed().toInt() : 0;
    }
    ~SmtpServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // The envelope, headers and body of the n-th message, as parsed by Python.
    QJsonObject record(int n) const {
        QFile file(folder_.filePath(QStringLiteral("%1/record.json").arg(n)));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    int port = 0;

private:
    QTemporaryDir folder_;
    QProcess process_;
};

template <typename T> T* child(const QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no control named %s", name);
    }
    return found;
}

// Chooses the picker entry with `text` the way a user does: with the keyboard.
bool choose(QComboBox* picker, const QString& text) {
    const int target = picker->findText(text);
    if (target < 0) {
        return false;
    }
    picker->setFocus();
    for (int guard = 0; picker->currentIndex() != target && guard < 20; ++guard) {
        QTest::keyClick(picker, picker->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    return picker->currentIndex() == target;
}

// Text typed through an input method, as non-Latin-1 text arrives.
void typeText(QWidget* field, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

void selectAllAndDelete(QLineEdit* field) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
}

} // namespace

class SettingsViewTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<FakeDesktopServices> desktop_ = std::make_shared<FakeDesktopServices>();

private Q_SLOTS:
    // The application's own look: style, palette and style sheet.
    void initTestCase() { DarkAppearance::apply(*qApp); }

    void init() { QFile::remove(AppSettings::settingsURL().toLocalFile()); }

    void tabsAndSize() {
        ScannerViewModel model(desktop_);
        SettingsView view(model);
        QCOMPARE(view.size(), QSize(520, 400));
        QTabWidget* tabs = view.tabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Defaults"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Email"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("About"));
        QCOMPARE(tabs->currentIndex(), 0);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!tabs->tabIcon(i).isNull());
        }
    }

    void smtpRowsFollowTheMethod() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::mailClient; });
        SettingsView view(model);
        view.show();
        view.tabs()->setCurrentIndex(1);

        const QList<QWidget*> smtpOnly{
            child<QLineEdit>(view, "smtpHostField"),     child<QSpinBox>(view, "smtpPortField"),
            child<QCheckBox>(view, "smtpTlsToggle"),     child<QLineEdit>(view, "smtpUserField"),
            child<QLineEdit>(view, "smtpPasswordField"), child<QLineEdit>(view, "fromNameField"),
            child<QLineEdit>(view, "fromAddressField"),  child<FlatButton>(view, "sendTestButton")};
        const QList<QWidget*> always{child<QComboBox>(view, "emailMethodPicker"),
                                     child<QLineEdit>(view, "defaultRecipientField"),
                                     child<QLineEdit>(view, "emailSubjectField"),
                                     child<QLineEdit>(view, "emailBodyField")};
        const auto check = [&](bool smtp) {
            for (QWidget* widget : smtpOnly) {
                QVERIFY2(widget->isEnabled() == smtp, qPrintable(widget->objectName()));
            }
            for (QWidget* widget : always) {
                QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
            }
        };
        check(false);

        auto* picker = child<QComboBox>(view, "emailMethodPicker");
        QCOMPARE(picker->currentText(), QStringLiteral("Desktop mail client (default)"));
        QVERIFY(choose(picker, QStringLiteral("SMTP server (send directly)")));
        QCOMPARE(model.settings().emailMethod, EmailMethod::smtp);
        check(true);

        // A change made elsewhere (the e-mail sheet's Send) reaches the rows too.
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::mailClient; });
        check(false);
        QCOMPARE(picker->currentIndex(), 0);
    }

    void controlsWriteTheLiveSettings() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) {
            s.dpi = 250; // not offered: no entry is shown as chosen
            s.format = OutputFormat::pdf;
            s.openAfterSave = false;
            s.smtpPort = 587;
        });
        SettingsView view(model);
        view.show();

        auto* resolution = child<QComboBox>(view, "resolutionPicker");
        QCOMPARE(resolution->count(), 6);
        QCOMPARE(resolution->currentIndex(), -1);
        resolution->setCurrentIndex(0);
        QVERIFY(choose(resolution, resolutionLabel(600)));
        QCOMPARE(model.settings().dpi, 600);

        QVERIFY(choose(child<QComboBox>(view, "formatPicker"), displayName(OutputFormat::png)));
        QCOMPARE(model.settings().format, OutputFormat::png);
        QVERIFY(choose(child<QComboBox>(view, "paperPicker"), displayName(PaperSize::a5)));
        QCOMPARE(model.settings().paper, PaperSize::a5);
        QVERIFY(choose(child<QComboBox>(view, "colourPicker"), displayName(ColourMode::greyscale)));
        QCOMPARE(model.settings().colour, ColourMode::greyscale);
        QVERIFY(
            choose(child<QComboBox>(view, "sourcePicker"), displayName(ScanSource::feederDuplex)));
        QCOMPARE(model.settings().source, ScanSource::feederDuplex);

        auto* pattern = child<QLineEdit>(view, "fileNamePatternField");
        selectAllAndDelete(pattern);
        QTest::keyClicks(pattern, QStringLiteral("Doc_{yyyy}"));
        QCOMPARE(model.settings().fileNamePattern, QStringLiteral("Doc_{yyyy}"));

        // An unchecked toggle must still show its box on the dark background.
        auto* toggle = child<QCheckBox>(view, "openAfterSaveToggle");
        QStyleOptionButton option;
        option.initFrom(toggle);
        const QRect box =
            toggle->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, toggle);
        const QImage picture = toggle->grab().toImage();
        int outlined = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            outlined +=
                UiTest::near(picture.pixelColor(box.left(), y), Theme::lineBright.color(), 24) ? 1
                                                                                               : 0;
        }
        QVERIFY2(outlined >= box.height() / 2, qPrintable(QString::number(outlined)));

        toggle->click();
        QVERIFY(model.settings().openAfterSave);

        auto* port = child<QSpinBox>(view, "smtpPortField");
        QCOMPARE(port->value(), 587);
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::smtp; });
        port->setFocus();
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("2525"));
        QCOMPARE(model.settings().smtpPort, 2525);

        // Both ways: an edit of the settings elsewhere shows in the fields.
        model.editSettings([](AppSettings& s) {
            s.saveFolder = QStringLiteral("/srv/scans");
            s.smtpPort = 465;
        });
        QCOMPARE(child<QLineEdit>(view, "saveFolderField")->text(), QStringLiteral("/srv/scans"));
        QCOMPARE(port->value(), 465);

        // "Choose..." asks through the model and shows the folder chosen.
        desktop_->folderAnswer = QUrl::fromLocalFile(QDir::tempPath());
        child<FlatButton>(view, "chooseFolderButton")->click();
        QCOMPARE(desktop_->folderChooserStarts.size(), 1);
        QCOMPARE(QUrl::fromLocalFile(child<QLineEdit>(view, "saveFolderField")->text()),
                 QUrl::fromLocalFile(QDir::tempPath()));
        desktop_->folderAnswer.reset();
    }

    void jpegSliderMovesInStepsOfFive() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.jpegQuality = 87; });
        SettingsView view(model);
        view.show();
        auto* slider = child<QSlider>(view, "jpegQualitySlider");
        auto* label = child<QLabel>(view, "jpegQualityLabel");

        // A stored value off the steps is shown as it is and left alone.
        QCOMPARE(label->text(), QStringLiteral("87%"));
        QCOMPARE(model.settings().jpegQuality, 87);

        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(model.settings().jpegQuality, 100);
        QCOMPARE(label->text(), QStringLiteral("100%"));
        QVERIFY(label->width() >= 30);
        QVERIFY(label->contentsRect().width() >=
                label->fontMetrics().horizontalAdvance(label->text())); // not cut off

        QTest::keyClick(slider, Qt::Key_Left);
        QCOMPARE(model.settings().jpegQuality, 95);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(model.settings().jpegQuality, 10);
        QCOMPARE(label->text(), QStringLiteral("10%"));

        // Dragging cannot stop between steps.
        slider->setSliderPosition(slider->maximum() - 1);
        QCOMPARE(model.settings().jpegQuality % 5, 0);
        QCOMPARE(model.settings().jpegQuality, 95);
    }

    void passwordGoesToTheKeyringOnEveryChange() {
        const QString alice = QStringLiteral("alice.settings@example.org");
        const QString bob = QStringLiteral("bob.settings@example.org");
        Keychain::set(QStringLiteral("stored-pw"), alice);
        Keychain::remove(bob);

        ScannerViewModel model(desktop_);
        model.editSettings([&](AppSettings& s) {
            s.emailMethod = EmailMethod::smtp;
            s.smtpUser = alice;
        });
        SettingsView view(model);
        QCOMPARE(view.smtpPassword(), QString()); // read when it comes on screen
        view.show();
        QCOMPARE(view.smtpPassword(), QStringLiteral("stored-pw"));

        auto* field = child<QLineEdit>(view, "smtpPasswordField");
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        field->setFocus();
        field->end(false);
        typeText(field, QStringLiteral("ü"));
        QCOMPARE(Keychain::get(alice), QStringLiteral("stored-pwü"));
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(Keychain::get(alice), QStringLiteral("stored-pw"));
        QVERIFY(!model.settings().smtpPassword().isEmpty());

        // Clearing the field removes the stored password.
        selectAllAndDelete(field);
        QCOMPARE(Keychain::get(alice), QString());

        // With no user name nothing is stored; once there is one, the next
        // change stores the field's text for it. The field is not reloaded.
        model.editSettings([](AppSettings& s) { s.smtpUser.clear(); });
        QTest::keyClicks(field, QStringLiteral("secret"));
        model.editSettings([&](AppSettings& s) { s.smtpUser = bob; });
        QCOMPARE(Keychain::get(bob), QString());
        QCOMPARE(field->text(), QStringLiteral("secret"));
        QTest::keyClicks(field, QStringLiteral("!"));
        QCOMPARE(Keychain::get(bob), QStringLiteral("secret!"));
        QCOMPARE(Keychain::get(alice), QString());

        // The password never reaches the settings file.
        view.hide();
        QFile file(AppSettings::settingsURL().toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("secret"));
        Keychain::remove(bob);
    }

    void settingsFileWrittenWhenTheWindowCloses() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.paper = PaperSize::a4; });
        QPointer<SettingsWindow> window = new SettingsWindow;
        auto* view = new SettingsView(model);
        window->setContentView(view);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QVERIFY(choose(child<QComboBox>(*view, "paperPicker"), displayName(PaperSize::legal)));
        QCOMPARE(model.settings().paper, PaperSize::legal);
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));

        window->close();
        QCOMPARE(AppSettings::load().paper, PaperSize::legal);
        QCOMPARE(AppSettings::load(), model.settings());
        QTRY_VERIFY(window.isNull()); // the window goes with its content
    }

    void testEmailReportsItsOutcome() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) {
            s.emailMethod = EmailMethod::smtp;
            s.defaultRecipient.clear();
            s.fromAddress.clear();
            s.smtpHost = QStringLiteral("127.0.0.1");
            s.smtpUseTLS = false;
            s.smtpUser.clear();
        });
        SettingsView view(model);
        view.show();
        auto* result = child<QLabel>(view, "testResultLabel");
        QVERIFY(!view.testResult().has_value());
        QVERIFY(result->isHidden());

        child<FlatButton>(view, "sendTestButton")->click();
        QCOMPARE(view.testResult(), QStringLiteral("Enter a recipient or from address first."));
        QVERIFY(!result->isHidden());
        QCOMPARE(result->text(), *view.testResult());

        // Blanks are a recipient text as typed; the sender is the from address.
        SmtpServer server;
        QVERIFY(server.port > 0);
        model.editSettings([&](AppSettings& s) {
            s.defaultRecipient = QStringLiteral("  ");
            s.fromAddress = QStringLiteral("ann@example.org");
            s.smtpPort = server.port;
        });
        view.sendTest();
        QCOMPARE(view.testResult(), QStringLiteral("Sending..."));
        QTRY_COMPARE(view.testResult(), QStringLiteral("Enter at least one recipient address."));

        // With no recipient the from address is the target; the settings as
        // edited (not saved) are used.
        model.editSettings([](AppSettings& s) { s.defaultRecipient.clear(); });
        view.sendTest();
        QTRY_COMPARE_WITH_TIMEOUT(view.testResult(),
                                  QStringLiteral("Test message sent to ann@example.org."), 30000);
        const QJsonObject sent = server.record(1);
        QCOMPARE(sent[QStringLiteral("to")].toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(sent[QStringLiteral("subject")].toString(), SettingsView::testSubject);
        QCOMPARE(sent[QStringLiteral("body")].toString(), SettingsView::testBody);
        QVERIFY(!QFile::exists(AppSettings::settingsURL().toLocalFile()));
    }

    void testOutcomeAfterTheViewIsGone() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) {
            s.emailMethod = EmailMethod::smtp;
            s.defaultRecipient = QStringLiteral("bob@example.org");
            s.smtpHost.clear(); // fails at once in the background
        });
        auto view = std::make_unique<SettingsView>(model);
        view->sendTest();
        view.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
        QCoreApplication::processEvents(); // the queued result finds no view
        QCoreApplication::sendPostedEvents();
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_SettingsView.moc"
