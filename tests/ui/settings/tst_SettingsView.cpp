// The settings window's content: bindings into the live settings, the SMTP
// rows that follow the sending method, the JPEG slider, the password in the
// (test session's real) keyring and the SMTP test. (Saving on close is
// tested with the application's settings window.)
#include "../../model/FakeDesktopServices.h"
#include "../../model/TestHome.h"
#include "../UiTestSupport.h"

#include "email/EmailFailure.h"
#include "model/ScannerViewModel.h"
#include "ocr/TextRecognizer.h"
#include "settings/Keychain.h"
#include "settings/Resolutions.h"
#include "ui/controls/FlatButton.h"
#include "ui/settings/SettingsView.h"
#include "ui/toolkit/DarkAppearance.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QThreadPool>
#include <QtTest>

namespace {

template <typename T> T* child(const QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no control named %s", name);
    }
    return found;
}

// Chooses an entry the way a user does without the mouse: arrow keys.
bool choose(QComboBox* picker, const QString& text) {
    const int target = picker->findText(text);
    picker->setFocus();
    for (int guard = 0; target >= 0 && picker->currentIndex() != target && guard < 20; ++guard) {
        QTest::keyClick(picker, picker->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    return target >= 0 && picker->currentIndex() == target;
}

// Typed through an input method, as text beyond Latin-1 arrives.
void typeText(QWidget* field, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

} // namespace

class SettingsViewTest : public QObject {
    Q_OBJECT

    std::shared_ptr<FakeDesktopServices> desktop_ = std::make_shared<FakeDesktopServices>();
    std::optional<TestHome> home_; // settings file and cache of each case

private Q_SLOTS:
    void initTestCase() { DarkAppearance::apply(*qApp); }
    void init() { home_.emplace(); }
    void cleanup() { home_.reset(); }

    void smtpRowsFollowTheMethod() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::mailClient; });
        SettingsView view(model);
        view.show();
        const QList<QWidget*> smtpOnly{
            child<QLineEdit>(view, "smtpHostField"),     child<QSpinBox>(view, "smtpPortField"),
            child<QCheckBox>(view, "smtpTlsToggle"),     child<QLineEdit>(view, "smtpUserField"),
            child<QLineEdit>(view, "smtpPasswordField"), child<QLineEdit>(view, "fromNameField"),
            child<QLineEdit>(view, "fromAddressField"),  child<FlatButton>(view, "sendTestButton")};
        const auto check = [&](bool smtp) {
            for (QWidget* widget : smtpOnly) {
                QVERIFY2(widget->isEnabled() == smtp, qPrintable(widget->objectName()));
            }
            QVERIFY(child<QLineEdit>(view, "defaultRecipientField")->isEnabled());
        };
        check(false);
        auto* picker = child<QComboBox>(view, "emailMethodPicker");
        QVERIFY(choose(picker, QStringLiteral("SMTP server (send directly)")));
        QCOMPARE(model.settings().emailMethod, EmailMethod::smtp);
        check(true);
        // A change from elsewhere (the e-mail sheet's Send) reaches the rows too.
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::mailClient; });
        check(false);
        QCOMPARE(picker->currentText(), QStringLiteral("Desktop mail client (default)"));
    }

    void controlsWriteTheLiveSettings() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) {
            s.dpi = 250; // not offered: no entry shows as chosen
            s.openAfterSave = false;
            s.emailMethod = EmailMethod::smtp;
        });
        SettingsView view(model);
        view.show();
        auto* resolution = child<QComboBox>(view, "resolutionPicker");
        QCOMPARE(resolution->currentIndex(), -1);
        resolution->setCurrentIndex(0);
        QVERIFY(choose(resolution, resolutionLabel(600)));
        QCOMPARE(model.settings().dpi, 600);
        QVERIFY(
            choose(child<QComboBox>(view, "sourcePicker"), displayName(ScanSource::feederDuplex)));
        QCOMPARE(model.settings().source, ScanSource::feederDuplex);

        auto* pattern = child<QLineEdit>(view, "fileNamePatternField");
        pattern->selectAll();
        QTest::keyClicks(pattern, QStringLiteral("Doc_{yyyy}"));
        QCOMPARE(model.settings().fileNamePattern, QStringLiteral("Doc_{yyyy}"));
        auto* port = child<QSpinBox>(view, "smtpPortField");
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("2525"));
        QCOMPARE(model.settings().smtpPort, 2525);
        model.editSettings([](AppSettings& s) { s.smtpPort = 465; }); // and back
        QCOMPARE(port->value(), 465);

        // An unchecked toggle still shows its box on the dark background.
        auto* toggle = child<QCheckBox>(view, "openAfterSaveToggle");
        QStyleOptionButton option;
        option.initFrom(toggle);
        const QRect box =
            toggle->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, toggle);
        const QImage picture = toggle->grab().toImage();
        int outlined = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            outlined +=
                UiTest::near(picture.pixelColor(box.left(), y), Theme::lineBright.color(), 24);
        }
        QVERIFY2(outlined >= box.height() / 2, qPrintable(QString::number(outlined)));
        toggle->click();
        QVERIFY(model.settings().openAfterSave);
        auto* compact = child<QCheckBox>(view, "compactPdfsToggle");
        QVERIFY(compact->isChecked());
        compact->click();
        QVERIFY(!model.settings().compactPdfs);
    }

    void fieldsAreNamedByTheirLabels() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.emailMethod = EmailMethod::smtp; });
        SettingsView view(model);
        view.show();
        const std::pair<const char*, QString> fields[] = {
            {"saveFolderField", QStringLiteral("Save scans to")},
            {"fileNamePatternField", QStringLiteral("File name pattern")},
            {"formatPicker", QStringLiteral("Format")},
            {"resolutionPicker", QStringLiteral("Resolution")},
            {"jpegQualitySlider", QStringLiteral("JPEG quality")},
            {"emailMethodPicker", QStringLiteral("Send using")},
            {"defaultRecipientField", QStringLiteral("Default recipient")},
            {"smtpHostField", QStringLiteral("SMTP server")},
            {"smtpPortField", QStringLiteral("Port")},
        };
        for (const auto& [name, label] : fields) {
            auto* field = view.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(field != nullptr, name);
            // Named by the label, or (pickers on Linux, whose name is their
            // value) labelled by it.
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
            bool labelledBy = false;
            for (const auto& [other, relation] : accessible->relations(QAccessible::Label)) {
                labelledBy = labelledBy || other->text(QAccessible::Name) == label + u':';
            }
            QVERIFY2(accessible->text(QAccessible::Name) == label || labelledBy, name);
            // The label that shows the name is the field's buddy.
            bool labelled = false;
            for (auto* caption : view.findChildren<QLabel*>()) {
                labelled = labelled || (caption->buddy() == field &&
                                        caption->text() == label + QStringLiteral(":"));
            }
            QVERIFY2(labelled, name);
        }
    }

    void textRecognitionRows() {
        ScannerViewModel model(desktop_);
        SettingsView view(model);
        view.show();
        auto* toggle = child<QCheckBox>(view, "ocrToggle");
        auto* language = child<QComboBox>(view, "ocrLanguagePicker");
        QCOMPARE(toggle->text(), QStringLiteral("Make PDFs searchable (OCR)"));
        QVERIFY(!toggle->isChecked());
        // The installed languages by name; English, the default, is chosen.
        QCOMPARE(language->currentText(), QStringLiteral("English"));
        QCOMPARE(language->count(), TextRecognizer::installedLanguages().size());
        QVERIFY(!language->isEnabled());

        toggle->click();
        QVERIFY(model.settings().ocrEnabled);
        QVERIFY(language->isEnabled());
        // A language no longer installed shows as no entry, and is kept.
        model.editSettings([](AppSettings& s) { s.ocrLanguage = QStringLiteral("qqq"); });
        QCOMPARE(language->currentIndex(), -1);
        QCOMPARE(model.settings().ocrLanguage, QStringLiteral("qqq"));
        model.editSettings([](AppSettings& s) { s.ocrEnabled = false; });
        QVERIFY(!toggle->isChecked());
        QVERIFY(!language->isEnabled());
    }

    void jpegSliderMovesInStepsOfFive() {
        ScannerViewModel model(desktop_);
        model.editSettings([](AppSettings& s) { s.jpegQuality = 87; });
        SettingsView view(model);
        view.show();
        auto* slider = child<QSlider>(view, "jpegQualitySlider");
        auto* label = child<QLabel>(view, "jpegQualityLabel");
        QCOMPARE(label->text(), QStringLiteral("87%")); // off the steps: left alone
        QCOMPARE(model.settings().jpegQuality, 87);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(model.settings().jpegQuality, 100);
        QCOMPARE(label->text(), QStringLiteral("100%"));
        QVERIFY(label->contentsRect().width() >=
                label->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
        QTest::keyClick(slider, Qt::Key_Left);
        QCOMPARE(model.settings().jpegQuality, 95);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(label->text(), QStringLiteral("10%"));
    }

    void passwordGoesToTheKeyringOnEveryChange() {
        const QString alice = QStringLiteral("alice.settings@example.org");
        const QString bob = QStringLiteral("bob.settings@example.org");
        Keychain::set(QStringLiteral("stored-pw"), alice);
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
        field->setFocus();
        field->end(false);
        typeText(field, QStringLiteral("ü"));
        QCOMPARE(Keychain::get(alice), QStringLiteral("stored-pwü"));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace); // an empty password removes it
        QCOMPARE(Keychain::get(alice), QString());

        // With no user name nothing is stored; the field is not reloaded when
        // one is entered, and its next change is stored for the new name.
        model.editSettings([](AppSettings& s) { s.smtpUser.clear(); });
        QTest::keyClicks(field, QStringLiteral("secret"));
        model.editSettings([&](AppSettings& s) { s.smtpUser = bob; });
        QCOMPARE(Keychain::get(bob), QString());
        QTest::keyClicks(field, QStringLiteral("!"));
        QCOMPARE(Keychain::get(bob), QStringLiteral("secret!"));
        Keychain::remove(bob);
    }

    // The model sends the test message (its own test checks what it says);
    // the line under the button shows each report.
    void testEmailShowsWhatTheModelReports() {
        ScannerViewModel model(desktop_);
        model.editSettings([&](AppSettings& s) {
            s.emailMethod = EmailMethod::smtp;
            s.fromAddress = QStringLiteral("ann@example.org");
            s.smtpHost.clear();
        });
        SettingsView view(model);
        view.show();
        auto* result = child<QLabel>(view, "testResultLabel");
        QVERIFY(result->isHidden());
        child<FlatButton>(view, "sendTestButton")->click();
        QVERIFY(!result->isHidden());
        QCOMPARE(result->text(), QStringLiteral("Sending..."));
        QTRY_COMPARE(result->text(), EmailFailure::noServer().description());
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_SettingsView.moc"
