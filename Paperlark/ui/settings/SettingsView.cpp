#include "ui/settings/SettingsView.h"

#include "buildinfo/BuildInfo.h"
#include "model/ScannerViewModel.h"
#include "ocr/TextRecognizer.h"
#include "settings/Resolutions.h"
#include "ui/controls/ButtonStyle.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Kicker.h"
#include "ui/controls/Labels.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/SymbolImage.h"
#include "ui/controls/Theme.h"
#include "ui/toolkit/Bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int viewWidth = 520;
constexpr int viewHeight = 400;
constexpr int tabPadding = 18;

// The JPEG quality slider moves in steps of 5 from 10 to 100; its positions
// are the step numbers, so it cannot stop between two steps.
constexpr int qualityStep = 5;
constexpr int qualityMinimum = 10;
constexpr int qualityMaximum = 100;

// The entries of a picker over one option enumeration, tagged with the raw values.
template <typename Option> QList<PickerEntry> optionEntries() {
    QList<PickerEntry> entries;
    for (const Option value : allCases<Option>()) {
        entries.append({displayName(value), rawValue(value)});
    }
    return entries;
}

QList<PickerEntry> resolutionEntries() {
    QList<PickerEntry> entries;
    for (const int dpi : supportedResolutions) {
        entries.append({resolutionLabel(dpi), QVariant(static_cast<qint64>(dpi))});
    }
    return entries;
}

// The text languages installed on the system, by name, tagged with their codes.
QList<PickerEntry> languageEntries() {
    QList<PickerEntry> entries;
    for (const QString& code : TextRecognizer::installedLanguages()) {
        entries.append({TextRecognizer::languageName(code), code});
    }
    return entries;
}

// Binds a picker to one option member of the settings.
template <typename Option>
void bindOption(QComboBox* picker, ScannerViewModel& model, Option AppSettings::*member) {
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Bind::picker(
        picker, &model, &ScannerViewModel::settingsChanged, optionEntries<Option>(),
        [&model, member] { return rawValue(model.settings().*member); },
        [&model, member](const QVariant& tag) {
            if (const std::optional<Option> value = fromRawValue<Option>(tag.toString())) {
                model.editSettings([&](AppSettings& settings) { settings.*member = *value; });
            }
        });
}

// Binds a single-line field to one text member of the settings.
void bindText(QLineEdit* field, ScannerViewModel& model, QString AppSettings::*member) {
    Bind::text(
        field, &model, &ScannerViewModel::settingsChanged,
        [&model, member] { return model.settings().*member; },
        [&model, member](const QString& text) {
            model.editSettings([&](AppSettings& settings) { settings.*member = text; });
        });
}

// Binds a toggle to one flag of the settings.
void bindFlag(QCheckBox* toggle, ScannerViewModel& model, bool AppSettings::*member) {
    Bind::toggle(
        toggle, &model, &ScannerViewModel::settingsChanged,
        [&model, member] { return model.settings().*member; },
        [&model, member](bool on) {
            model.editSettings([&](AppSettings& settings) { settings.*member = on; });
        });
}

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* formLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A widget holding a horizontal row without margins.
QWidget* rowOf(QWidget* parent, const QList<QWidget*>& widgets, bool trailingStretch) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* widget : widgets) {
        layout->addWidget(widget);
    }
    if (trailingStretch) {
        layout->addStretch(1);
    }
    return row;
}

// A tab's form in a frameless scroll area: should a long result line make the
// form taller than the fixed window, it scrolls instead of being cut off.
QScrollArea* scrollable(QWidget* form) {
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->setWidget(form);
    area->viewport()->setAutoFillBackground(false);
    form->setAutoFillBackground(false);
    return area;
}

// A caption that wraps within the width it is given.
QLabel* wrappingCaption(const QString& text, QWidget* parent) {
    QLabel* label = Labels::caption(text, parent);
    label->setWordWrap(true);
    return label;
}

QLabel* middleDot(QWidget* parent) {
    auto* dot = new QLabel(QStringLiteral("\u00B7"), parent);
    Labels::setColour(dot, Theme::muted);
    return dot;
}

// Ties every form label to its field, for screen readers: the field (or, for a row of controls, its
// first control that takes focus) becomes the label's buddy and is named by the label's text
// without its colon.
void tieLabelsToFields(QFormLayout* form) {
    for (int row = 0; row < form->rowCount(); ++row) {
        QLayoutItem* labelItem = form->itemAt(row, QFormLayout::LabelRole);
        QLayoutItem* fieldItem = form->itemAt(row, QFormLayout::FieldRole);
        auto* label = labelItem != nullptr ? qobject_cast<QLabel*>(labelItem->widget()) : nullptr;
        QWidget* field = fieldItem != nullptr ? fieldItem->widget() : nullptr;
        if (label == nullptr || field == nullptr) {
            continue;
        }
        if (field->focusPolicy() == Qt::NoFocus) {
            for (QWidget* child : field->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (child->focusPolicy() != Qt::NoFocus) {
                    field = child;
                    break;
                }
            }
        }
        if (field->focusPolicy() == Qt::NoFocus) {
            continue; // a value shown, not a field
        }
        label->setBuddy(field);
        if (field->accessibleName().isEmpty()) {
            QString name = label->text().trimmed();
            if (name.endsWith(u':')) {
                name.chop(1);
            }
            field->setAccessibleName(name);
        }
    }
}

} // namespace

SettingsView::SettingsView(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), tabs_(new QTabWidget(this)) {
    setObjectName(QStringLiteral("settingsView"));
    setFixedSize(viewWidth, viewHeight);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::background.color());
    setPalette(palette);
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(tabs_);

    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->setDocumentMode(false);
    const QColor iconColour = Theme::ink.color();
    tabs_->addTab(makeDefaultsTab(), SymbolImage::icon(QStringLiteral("gearshape"), iconColour),
                  QStringLiteral("Defaults"));
    tabs_->addTab(makeEmailTab(), SymbolImage::icon(QStringLiteral("envelope"), iconColour),
                  QStringLiteral("Email"));
    tabs_->addTab(makeAboutTab(), SymbolImage::icon(QStringLiteral("info.circle"), iconColour),
                  QStringLiteral("About"));
    tabs_->setCurrentIndex(0);
    for (QFormLayout* form : findChildren<QFormLayout*>()) {
        tieLabelsToFields(form);
    }
}

SettingsView::~SettingsView() = default;

QFormLayout* SettingsView::makeForm(QWidget* tab) {
    auto* form = new QFormLayout(tab);
    form->setContentsMargins(tabPadding, tabPadding, tabPadding, tabPadding);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(6);
    return form;
}

QWidget* SettingsView::makeDefaultsTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("defaultsTab"));
    QFormLayout* form = makeForm(tab);
    ScannerViewModel& model = model_;

    auto* folderField = named(new QLineEdit(tab), "saveFolderField");
    bindText(folderField, model, &AppSettings::saveFolder);
    auto* chooseButton =
        named(new FlatButton(QStringLiteral("Choose..."), SecondaryButtonStyle(), tab),
              "chooseFolderButton");
    connect(chooseButton, &QPushButton::clicked, this, [&model] { model.chooseFolder(); });
    form->addRow(formLabel(QStringLiteral("Save scans to:"), tab),
                 rowOf(tab, {folderField, chooseButton}, false));

    auto* patternField = named(new QLineEdit(tab), "fileNamePatternField");
    bindText(patternField, model, &AppSettings::fileNamePattern);
    form->addRow(formLabel(QStringLiteral("File name pattern:"), tab), patternField);
    form->addRow(
        static_cast<QWidget*>(nullptr),
        Labels::caption(QStringLiteral("Braces hold a date format, e.g. Scan_{yyyy-MM-dd_HHmmss}"),
                        tab));

    auto* formatPicker = named(new QComboBox(tab), "formatPicker");
    bindOption(formatPicker, model, &AppSettings::format);
    form->addRow(formLabel(QStringLiteral("Format:"), tab), formatPicker);

    auto* colourPicker = named(new QComboBox(tab), "colourPicker");
    bindOption(colourPicker, model, &AppSettings::colour);
    form->addRow(formLabel(QStringLiteral("Colour:"), tab), colourPicker);

    auto* resolutionPicker = named(new QComboBox(tab), "resolutionPicker");
    resolutionPicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Bind::picker(
        resolutionPicker, &model, &ScannerViewModel::settingsChanged, resolutionEntries(),
        [&model] { return static_cast<qint64>(model.settings().dpi); },
        [&model](const QVariant& tag) {
            model.editSettings([&](AppSettings& settings) { settings.dpi = tag.toLongLong(); });
        });
    form->addRow(formLabel(QStringLiteral("Resolution:"), tab), resolutionPicker);

    auto* paperPicker = named(new QComboBox(tab), "paperPicker");
    bindOption(paperPicker, model, &AppSettings::paper);
    form->addRow(formLabel(QStringLiteral("Page size:"), tab), paperPicker);

    auto* sourcePicker = named(new QComboBox(tab), "sourcePicker");
    bindOption(sourcePicker, model, &AppSettings::source);
    form->addRow(formLabel(QStringLiteral("Source:"), tab), sourcePicker);

    jpegSlider_ = named(new QSlider(Qt::Horizontal, tab), "jpegQualitySlider");
    jpegSlider_->setRange(qualityMinimum / qualityStep, qualityMaximum / qualityStep);
    jpegSlider_->setSingleStep(1);
    jpegSlider_->setPageStep(1);
    jpegLabel_ = named(new QLabel(tab), "jpegQualityLabel");
    jpegLabel_->setTextFormat(Qt::PlainText);
    // 30 points, or as wide as "100%" needs in the font at hand.
    jpegLabel_->setFixedWidth(
        std::max(30, jpegLabel_->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 1));
    jpegLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    showJpegQuality();
    connect(&model, &ScannerViewModel::settingsChanged, this, &SettingsView::showJpegQuality);
    // Only the user's moves store a value: a stored quality off the steps
    // stays as it is until the slider is moved.
    connect(jpegSlider_, &QSlider::valueChanged, this, [&model](int position) {
        model.editSettings(
            [&](AppSettings& settings) { settings.jpegQuality = position * qualityStep; });
    });
    auto* qualityRow = rowOf(tab, {jpegSlider_, jpegLabel_}, false);
    form->addRow(formLabel(QStringLiteral("JPEG quality:"), tab), qualityRow);

    auto* openToggle = named(new QCheckBox(QStringLiteral("Open the file after saving"), tab),
                             "openAfterSaveToggle");
    bindFlag(openToggle, model, &AppSettings::openAfterSave);
    form->addRow(static_cast<QWidget*>(nullptr), openToggle);

    auto* clearToggle = named(
        new QCheckBox(QStringLiteral("Clear the page list after saving"), tab), "clearPagesToggle");
    bindFlag(clearToggle, model, &AppSettings::clearPagesAfterSave);
    form->addRow(static_cast<QWidget*>(nullptr), clearToggle);

    auto* ocrToggle =
        named(new QCheckBox(QStringLiteral("Make PDFs searchable (OCR)"), tab), "ocrToggle");
    bindFlag(ocrToggle, model, &AppSettings::ocrEnabled);
    form->addRow(static_cast<QWidget*>(nullptr), ocrToggle);

    auto* languageLabel = formLabel(QStringLiteral("Text language:"), tab);
    auto* languagePicker = named(new QComboBox(tab), "ocrLanguagePicker");
    languagePicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Bind::picker(
        languagePicker, &model, &ScannerViewModel::settingsChanged, languageEntries(),
        [&model] { return model.settings().ocrLanguage; },
        [&model](const QVariant& tag) {
            model.editSettings(
                [&](AppSettings& settings) { settings.ocrLanguage = tag.toString(); });
        });
    form->addRow(languageLabel, languagePicker);
    for (QWidget* widget :
         {static_cast<QWidget*>(languageLabel), static_cast<QWidget*>(languagePicker)}) {
        Bind::enabled(widget, &model, &ScannerViewModel::settingsChanged,
                      [&model] { return model.settings().ocrEnabled; });
    }
    return scrollable(tab);
}

QWidget* SettingsView::makeEmailTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("emailTab"));
    QFormLayout* form = makeForm(tab);
    // Thirteen rows share the window's fixed height.
    form->setVerticalSpacing(3);
    ScannerViewModel& model = model_;

    auto* methodPicker = named(new QComboBox(tab), "emailMethodPicker");
    bindOption(methodPicker, model, &AppSettings::emailMethod);
    form->addRow(formLabel(QStringLiteral("Send using:"), tab), methodPicker);

    const auto textRow = [&](const QString& label, const char* name, QString AppSettings::*member,
                             bool smtp) {
        auto* field = named(new QLineEdit(tab), name);
        bindText(field, model, member);
        QLabel* caption = formLabel(label, tab);
        form->addRow(caption, field);
        if (smtp) {
            smtpOnly(caption);
            smtpOnly(field);
        }
        return field;
    };
    textRow(QStringLiteral("Default recipient:"), "defaultRecipientField",
            &AppSettings::defaultRecipient, false);
    textRow(QStringLiteral("Subject:"), "emailSubjectField", &AppSettings::emailSubject, false);
    textRow(QStringLiteral("Message:"), "emailBodyField", &AppSettings::emailBody, false);

    auto* divider = new QFrame(tab);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::Window, Theme::line.color());
    divider->setPalette(dividerPalette);
    form->addRow(divider);

    textRow(QStringLiteral("SMTP server:"), "smtpHostField", &AppSettings::smtpHost, true);

    auto* portField = named(new QSpinBox(tab), "smtpPortField");
    portField->setButtonSymbols(QAbstractSpinBox::NoButtons);
    portField->setRange(0, 65535);
    portField->setFixedWidth(130);
    const auto showPort = [portField, &model] {
        const std::int64_t port = model.settings().smtpPort;
        if (portField->value() != port) {
            const QSignalBlocker quiet(portField);
            portField->setValue(static_cast<int>(std::clamp<std::int64_t>(port, 0, 65535)));
        }
    };
    showPort();
    connect(&model, &ScannerViewModel::settingsChanged, portField, showPort);
    connect(portField, &QSpinBox::valueChanged, this, [&model](int port) {
        model.editSettings([&](AppSettings& settings) { settings.smtpPort = port; });
    });
    auto* tlsToggle = named(new QCheckBox(QStringLiteral("TLS"), tab), "smtpTlsToggle");
    bindFlag(tlsToggle, model, &AppSettings::smtpUseTLS);
    QLabel* portLabel = formLabel(QStringLiteral("Port:"), tab);
    QWidget* portRow = rowOf(tab, {portField, tlsToggle}, true);
    form->addRow(portLabel, portRow);
    smtpOnly(portLabel);
    smtpOnly(portRow);

    textRow(QStringLiteral("Username:"), "smtpUserField", &AppSettings::smtpUser, true);

    passwordField_ = named(new QLineEdit(tab), "smtpPasswordField");
    passwordField_->setEchoMode(QLineEdit::Password);
    // Every keystroke, paste or deletion goes to the keyring, for the user
    // name as it is at that moment.
    connect(passwordField_, &QLineEdit::textEdited, &model, &ScannerViewModel::setSmtpPassword);
    QLabel* passwordLabel = formLabel(QStringLiteral("Password:"), tab);
    form->addRow(passwordLabel, passwordField_);
    smtpOnly(passwordLabel);
    smtpOnly(passwordField_);

    textRow(QStringLiteral("From name:"), "fromNameField", &AppSettings::fromName, true);
    textRow(QStringLiteral("From address:"), "fromAddressField", &AppSettings::fromAddress, true);

    auto* testButton =
        named(new FlatButton(QStringLiteral("Send test email"), SecondaryButtonStyle(), tab),
              "sendTestButton");
    connect(testButton, &QPushButton::clicked, this, &SettingsView::sendTest);
    smtpOnly(testButton);
    testResultLabel_ = named(wrappingCaption(QString(), tab), "testResultLabel");
    testResultLabel_->setVisible(false);
    testResultLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The model sends the message; the line shows what it reports.
    connect(&model_, &ScannerViewModel::testEmailReported, this,
            [this](const QString& text) { setTestResult(text); });
    QWidget* testRow = rowOf(tab, {testButton, testResultLabel_}, true);
    // The result takes the rest of the row; without one the button stays leading.
    static_cast<QHBoxLayout*>(testRow->layout())->setStretch(1, 1);
    static_cast<QHBoxLayout*>(testRow->layout())->setStretch(2, 0);
    form->addRow(static_cast<QWidget*>(nullptr), testRow);

    // Across the whole form, so the note stays on one line.
    form->addRow(Labels::caption(QStringLiteral("The password is stored in your system keyring, "
                                                "never in the settings file."),
                                 tab));
    return scrollable(tab);
}

QWidget* SettingsView::makeAboutTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("aboutTab"));
    auto* column = new QVBoxLayout(tab);
    column->setContentsMargins(tabPadding, tabPadding, tabPadding, tabPadding);
    column->setSpacing(10);
    column->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    column->addWidget(new Kicker(QStringLiteral("TESSEL TOOLING"), tab));
    column->addWidget(Labels::text(BuildInfo::product, 20, QFont::DemiBold, Theme::ink, tab));
    column->addWidget(Labels::text(QStringLiteral("Version ") + BuildInfo::version() +
                                       QStringLiteral("  \u00B7  built ") + BuildInfo::buildDate(),
                                   13, QFont::Normal, Theme::muted, tab));
    column->addWidget(Labels::text(BuildInfo::licence, 13, QFont::Normal, Theme::ink, tab));
    auto* signature =
        new QLabel(QStringLiteral("Signature: ") + BuildInfo::signature().summary(), tab);
    signature->setTextFormat(Qt::PlainText);
    signature->setFont(Theme::font(11, QFont::Normal, true));
    Labels::setColour(signature, Theme::muted);
    column->addWidget(signature);
    column->addStretch(1);

    auto* links = new QWidget(tab);
    auto* row = new QHBoxLayout(links);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(new LinkLabel(QStringLiteral("Brannock"), QUrl(BuildInfo::authorUrl), {}, links),
                   0, Qt::AlignVCenter);
    row->addWidget(middleDot(links), 0, Qt::AlignVCenter);
    row->addWidget(
        new LinkLabel(QStringLiteral("More free tools"), QUrl(BuildInfo::toolsUrl), {}, links), 0,
        Qt::AlignVCenter);
    row->addWidget(middleDot(links), 0, Qt::AlignVCenter);
    row->addWidget(new LinkLabel(QStringLiteral("Privacy"), QUrl(BuildInfo::privacyUrl), {}, links),
                   0, Qt::AlignVCenter);
    row->addWidget(middleDot(links), 0, Qt::AlignVCenter);
    row->addWidget(new LinkLabel(QStringLiteral("\u2615 Buy me a coffee"),
                                 QUrl(BuildInfo::donationUrl), {}, links),
                   0, Qt::AlignVCenter);
    column->addWidget(links);
    return tab;
}

void SettingsView::smtpOnly(QWidget* widget) {
    Bind::enabled(widget, &model_, &ScannerViewModel::settingsChanged,
                  [this] { return model_.settings().emailMethod == EmailMethod::smtp; });
}

void SettingsView::showJpegQuality() {
    const std::int64_t quality = model_.settings().jpegQuality;
    jpegLabel_->setText(QString::number(quality) + QStringLiteral("%"));
    const int position = static_cast<int>(
        std::clamp<std::int64_t>(quality, qualityMinimum, qualityMaximum) / qualityStep);
    if (jpegSlider_->value() != position) {
        const QSignalBlocker quiet(jpegSlider_);
        jpegSlider_->setValue(position);
    }
}

QString SettingsView::smtpPassword() const {
    return passwordField_->text();
}

void SettingsView::setTestResult(std::optional<QString> result) {
    testResult_ = std::move(result);
    testResultLabel_->setText(testResult_.value_or(QString()));
    testResultLabel_->setToolTip(testResult_.value_or(QString()));
    testResultLabel_->setVisible(testResult_.has_value());
    Q_EMIT testResultChanged();
}

void SettingsView::sendTest() {
    model_.sendTestEmail();
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        passwordField_->setText(model_.smtpPassword());
    }
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closing the window (not minimising it) ends the editing session.
    if (!event->spontaneous()) {
        model_.saveSettings();
    }
}
