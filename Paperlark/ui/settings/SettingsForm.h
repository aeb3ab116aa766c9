#pragma once

#include "model/ScannerViewModel.h"
#include "settings/AppSettings.h"
#include "settings/Option.h"
#include "ui/toolkit/Bindings.h"

#include <QComboBox>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QWidget;

// A form of the settings window whose controls are bound to members of the
// model's live settings: each control shows its member at once and again
// after every change of the settings, and writes the user's edits straight
// back through ScannerViewModel::editSettings. Rows are added top to bottom:
//
//     SettingsForm form(page, model);
//     form.picker(QStringLiteral("Format:"), &AppSettings::format, "formatPicker");
//     form.toggle(QStringLiteral("Open the file after saving"), &AppSettings::openAfterSave,
//                 "openAfterSaveToggle");
//
// Every control is given its object name (for tests and tools). A labelled
// row's label is tied to its field (or, for a row of several controls, to
// the first that takes focus), which screen readers then name after the
// label's text without its colon. The bindings hold the model, not the
// form: a SettingsForm may go once its rows are made.
class SettingsForm {
public:
    // A form for controls on `page`; its layout is not yet installed (set it
    // as the page's layout, or add it to one of the page's layouts).
    SettingsForm(QWidget* page, ScannerViewModel& model);

    QWidget* page() const { return page_; }
    QFormLayout* layout() const { return layout_; }

    // A pop-up picker over an option enumeration: one entry per case in
    // table order, labelled with its display name.
    template <Option E>
    QComboBox* picker(const QString& label, E AppSettings::*member, const char* name) {
        QList<PickerEntry> entries;
        for (const E value : allCases<E>()) {
            entries.append({displayName(value), rawValue(value)});
        }
        return bindPicker(
            label, name, [entries] { return entries; },
            [&model = model_, member] { return QVariant(rawValue(model.settings().*member)); },
            [&model = model_, member](const QVariant& tag) {
                if (const std::optional<E> value = fromRawValue<E>(tag.toString())) {
                    model.editSettings([&](AppSettings& s) { s.*member = *value; });
                }
            });
    }

    // A pop-up picker over entries tagged with values of an integer or text
    // member; `entries` is asked again on every change of the settings. A
    // value that matches no entry shows nothing chosen and is kept.
    template <typename Entries>
    QComboBox* picker(const QString& label, std::int64_t AppSettings::*member, Entries entries,
                      const char* name) {
        return bindPicker(
            label, name, std::move(entries),
            [&model = model_, member] {
                return QVariant(static_cast<qint64>(model.settings().*member));
            },
            [&model = model_, member](const QVariant& tag) {
                model.editSettings([&](AppSettings& s) { s.*member = tag.toLongLong(); });
            });
    }
    template <typename Entries>
    QComboBox* picker(const QString& label, QString AppSettings::*member, Entries entries,
                      const char* name) {
        return bindPicker(
            label, name, std::move(entries),
            [&model = model_, member] { return QVariant(model.settings().*member); },
            [&model = model_, member](const QVariant& tag) {
                model.editSettings([&](AppSettings& s) { s.*member = tag.toString(); });
            });
    }

    // A single-line text field; every keystroke is stored.
    QLineEdit* text(const QString& label, QString AppSettings::*member, const char* name);

    // A toggle in the field column, without a label of its own.
    QCheckBox* toggle(const QString& text, bool AppSettings::*member, const char* name);
    // The same with a one-line caption under it, saying what the toggle does.
    QCheckBox* toggle(const QString& text, const QString& caption, bool AppSettings::*member,
                      const char* name);

    // A caption (11 points, muted) in the field column.
    QLabel* caption(const QString& text);

    // A row of any field under `label`; returns the label.
    QLabel* row(const QString& label, QWidget* field);
    // A row of any widget in the field column.
    void row(QWidget* field);

    // The label of the row that holds `field`, if it has one.
    QLabel* labelFor(QWidget* field) const;

private:
    using GetTag = std::function<QVariant()>;
    using SetTag = std::function<void(const QVariant&)>;
    using GetEntries = std::function<QList<PickerEntry>()>;
    QComboBox* bindPicker(const QString& label, const char* name, GetEntries entries, GetTag get,
                          SetTag set);

    QWidget* page_;
    QFormLayout* layout_;
    ScannerViewModel& model_;
};
