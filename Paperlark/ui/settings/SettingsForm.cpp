#include "ui/settings/SettingsForm.h"

#include "ui/controls/Labels.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

namespace {

// The widget of a row that its label names: the field itself, or for a row
// of several controls the first of them that takes focus; none for a value
// that is only shown.
QWidget* focusTarget(QWidget* field) {
    if (field->focusPolicy() != Qt::NoFocus) {
        return field;
    }
    for (QWidget* child : field->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->focusPolicy() != Qt::NoFocus) {
            return child;
        }
    }
    return nullptr;
}

} // namespace

SettingsForm::SettingsForm(QWidget* page, ScannerViewModel& model)
    : page_(page), layout_(new QFormLayout), model_(model) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout_->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout_->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout_->setRowWrapPolicy(QFormLayout::DontWrapRows);
    layout_->setHorizontalSpacing(8);
    layout_->setVerticalSpacing(6);
}

QComboBox* SettingsForm::bindPicker(const QString& label, const char* name, GetEntries entries,
                                    GetTag get, SetTag set) {
    auto* picker = new QComboBox(page_);
    picker->setObjectName(QLatin1String(name));
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Bind::picker(picker, &model_, &ScannerViewModel::settingsChanged, std::move(entries),
                 std::move(get), std::move(set));
    row(label, picker);
    return picker;
}

QLineEdit* SettingsForm::text(const QString& label, QString AppSettings::*member,
                              const char* name) {
    auto* field = new QLineEdit(page_);
    field->setObjectName(QLatin1String(name));
    ScannerViewModel& model = model_;
    Bind::text(
        field, &model, &ScannerViewModel::settingsChanged,
        [&model, member] { return model.settings().*member; },
        [&model, member](const QString& value) {
            model.editSettings([&](AppSettings& s) { s.*member = value; });
        });
    row(label, field);
    return field;
}

QCheckBox* SettingsForm::toggle(const QString& text, bool AppSettings::*member, const char* name) {
    auto* toggle = new QCheckBox(text, page_);
    toggle->setObjectName(QLatin1String(name));
    ScannerViewModel& model = model_;
    Bind::toggle(
        toggle, &model, &ScannerViewModel::settingsChanged,
        [&model, member] { return model.settings().*member; },
        [&model, member](bool on) { model.editSettings([&](AppSettings& s) { s.*member = on; }); });
    row(toggle);
    return toggle;
}

QCheckBox* SettingsForm::toggle(const QString& text, const QString& caption,
                                bool AppSettings::*member, const char* name) {
    QCheckBox* control = toggle(text, member, name);
    QLabel* note = this->caption(caption);
    // Under the toggle's text, not its box.
    const int indent =
        control->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) +
        control->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
    note->setIndent(indent);
    // A long caption takes a second line rather than widening the column.
    note->setWordWrap(true);
    control->setAccessibleDescription(caption);
    return control;
}

QLabel* SettingsForm::caption(const QString& text) {
    QLabel* label = Labels::caption(text, page_);
    row(label);
    return label;
}

QLabel* SettingsForm::row(const QString& label, QWidget* field) {
    auto* caption = new QLabel(label, page_);
    caption->setTextFormat(Qt::PlainText);
    layout_->addRow(caption, field);
    if (QWidget* target = focusTarget(field)) {
        caption->setBuddy(target);
        if (target->accessibleName().isEmpty()) {
            QString name = label.trimmed();
            if (name.endsWith(u':')) {
                name.chop(1);
            }
            target->setAccessibleName(name);
        }
    }
    return caption;
}

void SettingsForm::row(QWidget* field) {
    layout_->addRow(static_cast<QWidget*>(nullptr), field);
}

QLabel* SettingsForm::labelFor(QWidget* field) const {
    return qobject_cast<QLabel*>(layout_->labelForField(field));
}
