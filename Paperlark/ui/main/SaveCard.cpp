#include "ui/main/SaveCard.h"

#include "model/ScannerViewModel.h"
#include "ui/about/AboutPanel.h"
#include "ui/app/ApplicationActions.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Labels.h"
#include "ui/toolkit/Bindings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int rowSpacing = 8;

QLineEdit* textField(const QString& label) {
    auto* field = new QLineEdit;
    field->setAccessibleName(label);
    field->setClearButtonEnabled(false);
    return field;
}

} // namespace

SaveCard::SaveCard(ScannerViewModel& model, QWidget* parent)
    : Card(16, nullptr, parent), model_(model), folder_(textField(QStringLiteral("Save to"))),
      choose_(new FlatButton(QStringLiteral("Choose..."), SecondaryButtonStyle())),
      openFolder_(new FlatButton(QStringLiteral("Open folder"), SecondaryButtonStyle())),
      fileName_(textField(QStringLiteral("File name"))),
      save_(new FlatButton(QStringLiteral("Save"), PrimaryButtonStyle())),
      email_(new FlatButton(QStringLiteral("Save & email..."), SecondaryButtonStyle())),
      settings_(new FlatButton(QStringLiteral("Settings..."), SecondaryButtonStyle())),
      about_(new FlatButton(QStringLiteral("About"), SecondaryButtonStyle())) {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* row = new QHBoxLayout;
    row->setSpacing(rowSpacing);
    QLabel* folderLabel = Labels::fieldLabel(QStringLiteral("Save to"));
    folderLabel->setBuddy(folder_);
    row->addWidget(folderLabel);
    folder_->setMinimumWidth(260);
    folder_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(folder_, 1);
    row->addWidget(choose_);
    row->addWidget(openFolder_);
    QLabel* nameLabel = Labels::fieldLabel(QStringLiteral("File name"));
    nameLabel->setBuddy(fileName_);
    row->addWidget(nameLabel);
    fileName_->setFixedWidth(200);
    row->addWidget(fileName_);
    column->addLayout(row);

    row = new QHBoxLayout;
    row->setSpacing(rowSpacing);
    save_->setLabelWidth(80);
    save_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    row->addWidget(save_);
    row->addWidget(email_);
    row->addWidget(settings_);
    row->addWidget(about_);
    row->addStretch(1);
    column->addLayout(row);
    setContent(content);

    Bind::text(
        folder_, &model_, &ScannerViewModel::settingsChanged,
        [this] { return model_.settings().saveFolder; },
        [this](const QString& text) {
            model_.editSettings([&text](AppSettings& settings) { settings.saveFolder = text; });
        });
    Bind::text(
        fileName_, &model_, &ScannerViewModel::fileNameChanged,
        [this] { return model_.fileName(); },
        [this](const QString& text) { model_.setFileName(text); });

    Bind::enabled(save_, &model_, &ScannerViewModel::changed, [this] { return model_.canSave(); });
    Bind::enabled(email_, &model_, &ScannerViewModel::changed,
                  [this] { return model_.canEmail(); });

    connect(choose_, &QAbstractButton::clicked, this, [this] { model_.chooseFolder(); });
    connect(openFolder_, &QAbstractButton::clicked, this, [this] { model_.openSaveFolder(); });
    connect(save_, &QAbstractButton::clicked, this, [this] { model_.save(); });
    connect(email_, &QAbstractButton::clicked, this, [this] { model_.beginEmail(); });
    connect(settings_, &QAbstractButton::clicked, this,
            [] { ApplicationActions::send("showSettingsWindow"); });
    connect(about_, &QAbstractButton::clicked, this, [] { AboutPanel::show(); });
}
