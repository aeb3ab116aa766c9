#pragma once

#include "ui/settings/SettingsForm.h"

#include <QString>
#include <QWidget>

#include <optional>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;
class QTabWidget;
class FlatButton;
class ScannerViewModel;

// The content of the settings window: three tabs, "Defaults", "Email" and
// "About", at least 520 × 400 points and as large as the longest tab needs
// to show every row without scrolling. Every control writes straight into
// the model's live settings (the main window sees each change at once); the
// model writes the settings file when the view goes off screen, that is when
// its window closes.
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
// "clearPagesToggle", "ocrToggle", "ocrLanguagePicker", "emailMethodPicker",
// "defaultRecipientField", "emailSubjectField", "emailBodyField", "smtpHostField", "smtpPortField",
// "smtpTlsToggle", "smtpUserField", "smtpPasswordField", "fromNameField",
// "fromAddressField", "sendTestButton", "testResultLabel".
class SettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(ScannerViewModel& model, QWidget* parent = nullptr);
    ~SettingsView() override;

    QTabWidget* tabs() const { return tabs_; }

    // The Defaults tab's toggles, under the JPEG quality: where a new
    // toggle of the Defaults tab goes (a toggle with a caption is one line,
    // see SettingsForm). Rows added once the view is made take their place
    // in the layout at the next fitWithin().
    SettingsForm& defaultsToggles() { return *defaultsToggles_; }

    // Lays the content out for `room`, the space the screen leaves for it:
    // the Defaults tab is one column where that fits and two columns side
    // by side where the screen is too short for one. sizeHint() then stays
    // within `room`; a tab that is still too large for it scrolls.
    void fitWithin(const QSize& room);

    QSize sizeHint() const override;

    // The text of the password field.
    QString smtpPassword() const;

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

    // Moves the Defaults tab's toggle rows into its first column, or back
    // into a second column beside it.
    void arrangeDefaults(bool twoColumns);
    // Disabled unless the SMTP method is chosen.
    void smtpOnly(QWidget* widget);

    void setTestResult(std::optional<QString> result);
    void showJpegQuality();

    ScannerViewModel& model_;
    QTabWidget* tabs_ = nullptr;
    QWidget* defaultsTab_ = nullptr;
    QBoxLayout* defaultsColumns_ = nullptr;
    std::optional<SettingsForm> defaults_;
    std::optional<SettingsForm> defaultsToggles_;
    int defaultsFieldRows_ = 0;
    std::optional<QSize> room_;
    QSlider* jpegSlider_ = nullptr;
    QLabel* jpegLabel_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLabel* testResultLabel_ = nullptr;
    std::optional<QString> testResult_;
};
