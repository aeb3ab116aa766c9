#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;
class QTabWidget;
class FlatButton;
class ScannerViewModel;

// The content of the settings window: three tabs, "Defaults", "Email" and
// "About", 520 × 400 points. Every control writes straight into the model's
// live settings (the main window sees each change at once); the model writes
// the settings file when the view goes off screen, that is when its window
// closes.
//
// The SMTP password is not part of the settings: the password field shows the
// keyring's password of the SMTP user name when the view comes on screen, and
// every edit of the field goes to the keyring at once, through the model (an
// empty field removes the stored password; with no user name nothing is
// stored).
//
//     settingsWindow->setContentView(new SettingsView(model));
//
// Controls carry object names for tests and tools: "saveFolderField",
// "chooseFolderButton", "fileNamePatternField", "formatPicker",
// "colourPicker", "resolutionPicker", "paperPicker", "sourcePicker",
// "jpegQualitySlider", "jpegQualityLabel", "openAfterSaveToggle",
// "clearPagesToggle", "emailMethodPicker", "defaultRecipientField",
// "emailSubjectField", "emailBodyField", "smtpHostField", "smtpPortField",
// "smtpTlsToggle", "smtpUserField", "smtpPasswordField", "fromNameField",
// "fromAddressField", "sendTestButton", "testResultLabel".
class SettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(ScannerViewModel& model, QWidget* parent = nullptr);
    ~SettingsView() override;

    QTabWidget* tabs() const { return tabs_; }

    // The text of the password field.
    QString smtpPassword() const;

    // The result line of the latest SMTP test, if one was started.
    const std::optional<QString>& testResult() const { return testResult_; }

    // "Send test email": the model sends a short message through the SMTP
    // settings as edited so far (ScannerViewModel::sendTestEmail()); the
    // result line shows each line the model reports ("Sending...", then the
    // outcome). Several tests may run at once; the one that ends last sets
    // the line.
    void sendTest();

Q_SIGNALS:
    void testResultChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeDefaultsTab();
    QWidget* makeEmailTab();
    QWidget* makeAboutTab();

    // A form in the style of the settings tabs.
    static QFormLayout* makeForm(QWidget* tab);
    // Disabled unless the SMTP method is chosen.
    void smtpOnly(QWidget* widget);

    void setTestResult(std::optional<QString> result);
    void showJpegQuality();

    ScannerViewModel& model_;
    QTabWidget* tabs_ = nullptr;
    QSlider* jpegSlider_ = nullptr;
    QLabel* jpegLabel_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLabel* testResultLabel_ = nullptr;
    std::optional<QString> testResult_;
};
