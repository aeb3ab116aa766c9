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
// Between the Defaults tab's two columns, when it is laid out in two.
constexpr int columnSpacing = 24;

// The JPEG quality slider moves in steps of 5 from 10 to 100; its positions
// are the step numbers, so it cannot stop between two steps.
constexpr int qualityStep = 5;
constexpr int qualityMinimum = 10;
constexpr int qualityMaximum = 100;

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

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
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

// A tab's page in a frameless scroll area that asks for the page's whole
// size: the window grows to show every row, and only where the screen is
// too small for that does the page scroll instead of being cut off.
class TabScrollArea : public QScrollArea {
public:
    explicit TabScrollArea(QWidget* page) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setWidget(page);
        viewport()->setAutoFillBackground(false);
        page->setAutoFillBackground(false);
    }

    QSize sizeHint() const override { return widget()->sizeHint(); }
    QSize minimumSizeHint() const override { return {}; }
};

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

} // namespace

SettingsView::SettingsView(ScannerViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), tabs_(new QTabWidget(this)) {
    setObjectName(QStringLiteral("settingsView"));
    setMinimumSize(viewWidth, viewHeight);
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
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::makeDefaultsTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("defaultsTab"));
    defaultsTab_ = tab;
    defaultsColumns_ = new QBoxLayout(QBoxLayout::LeftToRight, tab);
    defaultsColumns_->setContentsMargins(tabPadding, tabPadding, tabPadding, tabPadding);
    defaults_.emplace(tab, model_);
    defaultsToggles_.emplace(tab, model_);
    defaultsColumns_->addLayout(defaults_->layout(), 1);
    defaultsColumns_->addLayout(defaultsToggles_->layout(), 1);
    defaultsColumns_->setAlignment(defaults_->layout(), Qt::AlignTop);
    defaultsColumns_->setAlignment(defaultsToggles_->layout(), Qt::AlignTop);
    SettingsForm& form = *defaults_;
    SettingsForm& toggles = *defaultsToggles_;
    ScannerViewModel& model = model_;

    auto* folderField = named(new QLineEdit(tab), "saveFolderField");
    Bind::text(
        folderField, &model, &ScannerViewModel::settingsChanged,
        [&model] { return model.settings().saveFolder; },
        [&model](const QString& text) {
            model.editSettings([&](AppSettings& settings) { settings.saveFolder = text; });
        });
    auto* chooseButton =
        named(new FlatButton(QStringLiteral("Choose..."), SecondaryButtonStyle(), tab),
              "chooseFolderButton");
    connect(chooseButton, &QPushButton::clicked, this, [&model] { model.chooseFolder(); });
    form.row(QStringLiteral("Save scans to:"), rowOf(tab, {folderField, chooseButton}, false));

    form.text(QStringLiteral("File name pattern:"), &AppSettings::fileNamePattern,
              "fileNamePatternField");
    form.caption(QStringLiteral("Braces hold a date format, e.g. Scan_{yyyy-MM-dd_HHmmss}"));
    form.picker(QStringLiteral("Format:"), &AppSettings::format, "formatPicker");
    form.picker(QStringLiteral("Colour:"), &AppSettings::colour, "colourPicker");
    form.picker(QStringLiteral("Resolution:"), &AppSettings::dpi, resolutionEntries,
                "resolutionPicker");
    form.picker(QStringLiteral("Page size:"), &AppSettings::paper, "paperPicker");
    form.picker(QStringLiteral("Source:"), &AppSettings::source, "sourcePicker");

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
    form.row(QStringLiteral("JPEG quality:"), rowOf(tab, {jpegSlider_, jpegLabel_}, false));

    toggles.toggle(QStringLiteral("Open the file after saving"), &AppSettings::openAfterSave,
                   "openAfterSaveToggle");
    toggles.toggle(QStringLiteral("Clear the page list after saving"),
                   &AppSettings::clearPagesAfterSave, "clearPagesToggle");
    toggles.toggle(QStringLiteral("Make PDFs searchable (OCR)"), &AppSettings::ocrEnabled,
                   "ocrToggle");
    QComboBox* languagePicker =
        toggles.picker(QStringLiteral("Text language:"), &AppSettings::ocrLanguage, languageEntries,
                       "ocrLanguagePicker");
    for (QWidget* widget : {static_cast<QWidget*>(toggles.labelFor(languagePicker)),
                            static_cast<QWidget*>(languagePicker)}) {
        Bind::enabled(widget, &model, &ScannerViewModel::settingsChanged,
                      [&model] { return model.settings().ocrEnabled; });
    }
    toggles.toggle(
        QStringLiteral("Make colour PDFs compact"),
        QStringLiteral("Text stays sharp; paper and pictures are stored at lower resolution."),
        &AppSettings::compactPdfs, "compactPdfsToggle");
    toggles.toggle(QStringLiteral("Straighten scanned pages"), &AppSettings::straightenScans,
                   "straightenToggle");
    toggles.toggle(QStringLiteral("Turn pages upright automatically"),
                   &AppSettings::turnScansUpright, "uprightToggle");
    // New toggles go above this line.
    defaultsFieldRows_ = form.layout()->rowCount();
    arrangeDefaults(false);
    return new TabScrollArea(tab);
}

void SettingsView::arrangeDefaults(bool twoColumns) {
    QFormLayout* first = defaults_->layout();
    QFormLayout* second = defaultsToggles_->layout();
    const auto move = [](QFormLayout* from, int row, QFormLayout* to, int at) {
        const QFormLayout::TakeRowResult taken = from->takeRow(row);
        QWidget* label = taken.labelItem != nullptr ? taken.labelItem->widget() : nullptr;
        QWidget* field = taken.fieldItem != nullptr ? taken.fieldItem->widget() : nullptr;
        delete taken.labelItem;
        delete taken.fieldItem;
        to->insertRow(at, label, field);
    };
    if (twoColumns) {
        for (int at = 0; first->rowCount() > defaultsFieldRows_; ++at) {
            move(first, defaultsFieldRows_, second, at);
        }
    } else {
        while (second->rowCount() > 0) {
            move(second, 0, first, first->rowCount());
        }
    }
    // One column takes the whole width; two share it.
    defaultsColumns_->setStretch(1, twoColumns ? 1 : 0);
    defaultsColumns_->setSpacing(twoColumns ? columnSpacing : 0);
    // The new arrangement's size reaches every layout up to this view.
    defaultsColumns_->invalidate();
    for (QWidget* widget = defaultsTab_; widget != nullptr && widget != this;
         widget = widget->parentWidget()) {
        widget->updateGeometry();
    }
    updateGeometry();
}

void SettingsView::fitWithin(const QSize& room) {
    room_ = room;
    arrangeDefaults(false);
    if (QWidget::sizeHint().height() > room.height()) {
        arrangeDefaults(true);
        if (QWidget::sizeHint().width() > room.width()) {
            arrangeDefaults(false);
        }
    }
    updateGeometry();
}

QSize SettingsView::sizeHint() const {
    const QSize natural = QWidget::sizeHint().expandedTo(QSize(viewWidth, viewHeight));
    return room_ ? natural.boundedTo(*room_).expandedTo(minimumSize()) : natural;
}

QWidget* SettingsView::makeEmailTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("emailTab"));
    SettingsForm emailForm(tab, model_);
    QFormLayout* form = emailForm.layout();
    form->setContentsMargins(tabPadding, tabPadding, tabPadding, tabPadding);
    tab->setLayout(form);
    // Thirteen rows: kept close together.
    form->setVerticalSpacing(3);
    ScannerViewModel& model = model_;

    emailForm.picker(QStringLiteral("Send using:"), &AppSettings::emailMethod, "emailMethodPicker");

    // A text row; the SMTP rows, label and field, are enabled only for SMTP.
    const auto textRow = [&](const QString& label, const char* name, QString AppSettings::*member,
                             bool smtp) {
        QLineEdit* field = emailForm.text(label, member, name);
        if (smtp) {
            smtpOnly(emailForm.labelFor(field));
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
    Bind::toggle(
        tlsToggle, &model, &ScannerViewModel::settingsChanged,
        [&model] { return model.settings().smtpUseTLS; },
        [&model](bool on) {
            model.editSettings([&](AppSettings& settings) { settings.smtpUseTLS = on; });
        });
    QWidget* portRow = rowOf(tab, {portField, tlsToggle}, true);
    QLabel* portLabel = emailForm.row(QStringLiteral("Port:"), portRow);
    smtpOnly(portLabel);
    smtpOnly(portRow);

    textRow(QStringLiteral("Username:"), "smtpUserField", &AppSettings::smtpUser, true);

    passwordField_ = named(new QLineEdit(tab), "smtpPasswordField");
    passwordField_->setEchoMode(QLineEdit::Password);
    // Every keystroke, paste or deletion goes to the keyring, for the user
    // name as it is at that moment.
    connect(passwordField_, &QLineEdit::textEdited, &model, &ScannerViewModel::setSmtpPassword);
    QLabel* passwordLabel = emailForm.row(QStringLiteral("Password:"), passwordField_);
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
    return new TabScrollArea(tab);
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
