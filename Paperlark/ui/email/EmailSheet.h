#pragma once

#include "settings/EmailMethod.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class FlatButton;
class GrowingTextEdit;
class ScannerViewModel;

// The small form that addresses the e-mail carrying the current pages:
// "To:", "Subject:", "Message:" (3 to 6 lines, then it scrolls) and
// "Send using:", then what will be attached ("N file(s), X MB", with "Many
// mail servers refuse messages over 20 MB." under it when that is so; both
// from the model), then Cancel and Send. 460 points wide; its height follows
// the content.
//
// Every time it is shown it starts from the e-mail defaults in the model's
// settings (an empty stored subject reads "Scanned document"), never from
// what was typed and cancelled before. It writes nothing itself: Send hands
// the four values to model.sendEmail() and closes the sheet at once; the
// main window shows the outcome from the model's status and error alert.
//
// Send is enabled only while "To:" holds something besides spaces and tabs.
// Return sends (when Send is enabled; inside the message field Return starts
// a new line and Ctrl+Return sends); Escape and Cancel close the sheet
// without sending. Send closes it with accept(), Cancel with reject().
//
// The main window shows it as a window-modal dialog while the model's
// emailSheetVisible is true; SheetPresenter makes a fresh sheet each time
// and clears the flag when the sheet closes in any way:
//
//     SheetPresenter::bind(window, &model, &ScannerViewModel::emailSheetVisibleChanged,
//                          [&model] { return model.emailSheetVisible(); },
//                          [&model](QWidget* parent) { return new EmailSheet(model, parent); },
//                          [&model] { model.setEmailSheetVisible(false); });
//
// Controls carry object names for tests and tools: "recipientsField",
// "subjectField", "messageField", "methodPicker", "attachmentSizeLabel",
// "attachmentSizeWarning", "cancelButton", "sendButton".
class EmailSheet : public QDialog {
    Q_OBJECT

public:
    explicit EmailSheet(ScannerViewModel& model, QWidget* parent = nullptr);
    ~EmailSheet() override;

    // The four values as they stand in the form.
    QString recipients() const;
    QString subject() const;
    QString messageBody() const;
    EmailMethod method() const;

    // True when the recipients hold something besides spaces and tabs.
    bool canSend() const;
    static bool isBlank(const QString& recipients);

    FlatButton* sendButton() const { return sendButton_; }
    FlatButton* cancelButton() const { return cancelButton_; }

    // Fills the form from the model's e-mail settings (done on every showing).
    void fillFromSettings();

    static constexpr int sheetWidth = 460;

public Q_SLOTS:
    // Send: hands the values to the model, then closes the sheet. Does
    // nothing while canSend() is false.
    void send();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateSendButton();
    void showSize();

    ScannerViewModel& model_;
    QLineEdit* recipientsField_;
    QLineEdit* subjectField_;
    GrowingTextEdit* messageField_;
    QComboBox* methodPicker_;
    QLabel* sizeLabel_ = nullptr;
    QLabel* sizeWarning_ = nullptr;
    FlatButton* cancelButton_;
    FlatButton* sendButton_;
    bool sent_ = false;
};
