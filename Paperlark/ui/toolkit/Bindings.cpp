#include "ui/toolkit/Bindings.h"

#include <QSignalBlocker>

namespace Bind::detail {

void showText(QLineEdit* field, const QString& value) {
    // Rewriting an equal text would move the cursor while the user types.
    if (field->text() != value) {
        field->setText(value);
    }
}

void showText(QPlainTextEdit* field, const QString& value) {
    if (field->toPlainText() != value) {
        const QSignalBlocker quiet(field);
        field->setPlainText(value);
    }
}

void showEntries(QComboBox* picker, const QList<PickerEntry>& entries, const QVariant& value) {
    const QSignalBlocker quiet(picker);
    bool same = picker->count() == entries.size();
    for (qsizetype i = 0; same && i < entries.size(); ++i) {
        const int row = static_cast<int>(i);
        same = picker->itemText(row) == entries[i].label && picker->itemData(row) == entries[i].tag;
    }
    if (!same) {
        picker->clear();
        for (const PickerEntry& entry : entries) {
            picker->addItem(entry.label, entry.tag);
        }
    }
    int chosen = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].tag == value) {
            chosen = static_cast<int>(i);
            break;
        }
    }
    picker->setCurrentIndex(chosen);
}

QVariant tagAt(const QComboBox* picker, int index) {
    return picker->itemData(index);
}

} // namespace Bind::detail
