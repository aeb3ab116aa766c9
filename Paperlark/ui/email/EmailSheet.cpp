#include "ui/email/EmailSheet.h"
#include "settings/HorizontalSpace.h"

#include "email/EmailService.h"
#include "email/MessageSize.h"
#include "model/ScannerViewModel.h"
#include "ui/controls/ButtonStyle.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/GrowingTextEdit.h"
#include "ui/controls/Kicker.h"
#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"
#include "ui/toolkit/WindowConfigurator.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel* formLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

EmailSheet::EmailSheet(ScannerViewModel& model, QWidget* parent)
    : QDialog(parent), model_(model), recipientsField_(new QLineEdit), subjectField_(new QLineEdit),
      messageField_(new GrowingTextEdit(3, 6)), methodPicker_(new QComboBox),
      cancelButton_(new FlatButton(QStringLiteral("Cancel"), SecondaryButtonStyle())),
      sendButton_(new FlatButton(QStringLiteral("Send"), PrimaryButtonStyle())) {
    setObjectName(QStringLiteral("emailSheet"));
    setWindowTitle(QStringLiteral("Email scan"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::background.color());
    setPalette(palette);
    setAutoFillBackground(true);
    new WindowConfigurator(false, this);

    // The sheet is exactly 460 wide; its height follows the content (the
    // message field grows from 3 to 6 lines).
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("emailSheetContent"));
    content->setFixedWidth(sheetWidth);
    outer->addWidget(content);

    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(12);
    column->addWidget(new Kicker(QStringLiteral("TESSEL TOOLING"), content), 0, Qt::AlignLeft);
    column->addWidget(
        Labels::text(QStringLiteral("Email scan"), 16, QFont::DemiBold, Theme::ink, content), 0,
        Qt::AlignLeft);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(8);

    recipientsField_->setObjectName(QStringLiteral("recipientsField"));
    subjectField_->setObjectName(QStringLiteral("subjectField"));
    messageField_->setObjectName(QStringLiteral("messageField"));
    methodPicker_->setObjectName(QStringLiteral("methodPicker"));
    messageField_->setTabChangesFocus(true);
    messageField_->installEventFilter(this);
    for (const EmailMethod value : allCases<EmailMethod>()) {
        methodPicker_->addItem(displayName(value), rawValue(value));
    }
    methodPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    form->addRow(formLabel(QStringLiteral("To:"), content), recipientsField_);
    form->addRow(formLabel(QStringLiteral("Subject:"), content), subjectField_);
    QLabel* messageLabel = formLabel(QStringLiteral("Message:"), content);
    form->addRow(messageLabel, messageField_);
    // The label sits level with the first line of the message.
    messageLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    messageLabel->setContentsMargins(0, 7, 0, 0);
    form->addRow(formLabel(QStringLiteral("Send using:"), content), methodPicker_);
    column->addLayout(form);

    // What will be attached, and a warning when most servers would refuse it.
    sizeLabel_ = Labels::caption(QString(), content);
    sizeLabel_->setObjectName(QStringLiteral("attachmentSizeLabel"));
    sizeWarning_ = Labels::caption(MessageSize::overCommonLimitText, content);
    sizeWarning_->setObjectName(QStringLiteral("attachmentSizeWarning"));
    sizeWarning_->setWordWrap(true);
    Labels::setColour(sizeWarning_, Theme::danger);
    auto* sizeLines = new QVBoxLayout;
    sizeLines->setSpacing(2);
    sizeLines->addWidget(sizeLabel_);
    sizeLines->addWidget(sizeWarning_);
    column->addLayout(sizeLines);
    connect(&model_, &ScannerViewModel::emailSizeChanged, this, &EmailSheet::showSize);
    showSize();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    sendButton_->setObjectName(QStringLiteral("sendButton"));
    // Return always means Send, wherever the focus is; Escape means Cancel
    // (QDialog's own handling of both keys).
    cancelButton_->setAutoDefault(false);
    sendButton_->setAutoDefault(false);
    sendButton_->setDefault(true);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(sendButton_);
    column->addLayout(buttons);

    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(sendButton_, &QPushButton::clicked, this, &EmailSheet::send);
    connect(recipientsField_, &QLineEdit::textChanged, this, &EmailSheet::updateSendButton);

    fillFromSettings();
}

EmailSheet::~EmailSheet() = default;

QString EmailSheet::recipients() const {
    return recipientsField_->text();
}

QString EmailSheet::subject() const {
    return subjectField_->text();
}

QString EmailSheet::messageBody() const {
    return messageField_->toPlainText();
}

EmailMethod EmailSheet::method() const {
    return fromRawValue<EmailMethod>(methodPicker_->currentData().toString())
        .value_or(EmailMethod::mailClient);
}

bool EmailSheet::isBlank(const QString& recipients) {
    return HorizontalSpace::isBlank(recipients);
}

bool EmailSheet::canSend() const {
    return !isBlank(recipients());
}

void EmailSheet::fillFromSettings() {
    const AppSettings& settings = model_.settings();
    recipientsField_->setText(settings.defaultRecipient);
    // Only an empty stored subject is replaced; one of spaces is kept.
    subjectField_->setText(settings.emailSubject.isEmpty() ? EmailService::defaultSubject
                                                           : settings.emailSubject);
    messageField_->setPlainText(settings.emailBody);
    methodPicker_->setCurrentIndex(methodPicker_->findData(rawValue(settings.emailMethod)));
    updateSendButton();
}

void EmailSheet::showSize() {
    // The line keeps its place while the size is worked out.
    sizeLabel_->setText(model_.emailSize().isEmpty() ? QStringLiteral(" ") : model_.emailSize());
    sizeWarning_->setVisible(model_.emailSizeOverCommonLimit());
}

void EmailSheet::updateSendButton() {
    sendButton_->setEnabled(canSend());
}

void EmailSheet::send() {
    if (!canSend() || sent_) {
        return;
    }
    // Once only: handing a draft to the mail client keeps the event loop
    // turning for a moment before the sheet closes.
    sent_ = true;
    sendButton_->setEnabled(false);
    model_.sendEmail(recipients(), subject(), messageBody(), method());
    accept();
}

void EmailSheet::showEvent(QShowEvent* event) {
    // Every showing starts from the stored preferences (a window system's
    // own re-show, after un-minimising for example, keeps the edits).
    if (!event->spontaneous()) {
        fillFromSettings();
        recipientsField_->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

bool EmailSheet::eventFilter(QObject* watched, QEvent* event) {
    // In the message field Return starts a new line; Ctrl+Return sends.
    if (watched == messageField_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && key->modifiers().testFlag(Qt::ControlModifier)) {
            send();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
