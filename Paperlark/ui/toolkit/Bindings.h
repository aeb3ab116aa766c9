#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <QVariant>

#include <functional>
#include <utility>

// Two-way bindings between standard controls and a value held elsewhere
// (usually a field of the view model, or a window's own state).
//
// Every binding takes the object that announces changes and its change
// signal, a getter and (for editable controls) a setter:
//
//     Bind::text(folderField, &model, &ScannerViewModel::settingsChanged,
//                [&] { return model.settings().saveFolder.toLocalFile(); },
//                [&](const QString& text) { model.editSettings([&](AppSettings& s) {...}); });
//
// The control shows the getter's value at once and again after every change
// signal; the setter is called only for the user's own edits, never for
// updates that come from the value. The control is the context of every
// connection, so a binding ends with its control.

// One entry of a picker: the text shown and the value it stands for.
struct PickerEntry {
    QString label;
    QVariant tag;

    bool operator==(const PickerEntry&) const = default;
};

namespace Bind {

namespace detail {
void showText(QLineEdit* field, const QString& value);
void showText(QPlainTextEdit* field, const QString& value);
void showEntries(QComboBox* picker, const QList<PickerEntry>& entries, const QVariant& value);
QVariant tagAt(const QComboBox* picker, int index);
} // namespace detail

// A single-line field; the setter sees every keystroke.
template <typename Source, typename Signal, typename Get, typename Set>
void text(QLineEdit* field, Source* source, Signal changed, Get get, Set set) {
    auto refresh = [field, get] { detail::showText(field, get()); };
    refresh();
    QObject::connect(source, changed, field, refresh);
    QObject::connect(field, &QLineEdit::textEdited, field,
                     [set](const QString& value) { set(value); });
}

// A multi-line field; the setter sees every edit.
template <typename Source, typename Signal, typename Get, typename Set>
void text(QPlainTextEdit* field, Source* source, Signal changed, Get get, Set set) {
    auto refresh = [field, get] { detail::showText(field, get()); };
    refresh();
    QObject::connect(source, changed, field, refresh);
    QObject::connect(field, &QPlainTextEdit::textChanged, field,
                     [field, set] { set(field->toPlainText()); });
}

// A check box, toggle or any checkable button.
template <typename Source, typename Signal, typename Get, typename Set>
void toggle(QAbstractButton* button, Source* source, Signal changed, Get get, Set set) {
    button->setCheckable(true);
    auto refresh = [button, get] {
        const bool on = get();
        if (button->isChecked() != on) {
            button->setChecked(on);
        }
    };
    refresh();
    QObject::connect(source, changed, button, refresh);
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [set](bool checked) { set(checked); });
}

// A pop-up picker whose entries may change (entries is called on every
// change). The entry whose tag equals the value is shown; a value that
// matches no entry shows nothing chosen. Choosing an entry passes its tag to
// the setter.
template <typename Source, typename Signal, typename Entries, typename Get, typename Set>
void picker(QComboBox* picker, Source* source, Signal changed, Entries entries, Get get, Set set) {
    auto refresh = [picker, entries, get] {
        detail::showEntries(picker, entries(), QVariant(get()));
    };
    refresh();
    QObject::connect(source, changed, picker, refresh);
    QObject::connect(picker, &QComboBox::activated, picker,
                     [picker, set](int index) { set(detail::tagAt(picker, index)); });
}

// The same with a fixed list of entries.
template <typename Source, typename Signal, typename Get, typename Set>
void picker(QComboBox* box, Source* source, Signal changed, const QList<PickerEntry>& entries,
            Get get, Set set) {
    picker(
        box, source, changed, [entries] { return entries; }, std::move(get), std::move(set));
}

// Enables the widget exactly while the condition holds.
template <typename Source, typename Signal, typename Condition>
void enabled(QWidget* widget, Source* source, Signal changed, Condition condition) {
    auto refresh = [widget, condition] { widget->setEnabled(condition()); };
    refresh();
    QObject::connect(source, changed, widget, refresh);
}

// Shows the widget exactly while the condition holds.
template <typename Source, typename Signal, typename Condition>
void visible(QWidget* widget, Source* source, Signal changed, Condition condition) {
    auto refresh = [widget, condition] { widget->setVisible(condition()); };
    refresh();
    QObject::connect(source, changed, widget, refresh);
}

} // namespace Bind
