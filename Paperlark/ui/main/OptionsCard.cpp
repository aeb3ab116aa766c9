#include "ui/main/OptionsCard.h"

#include "model/ScannerViewModel.h"
#include "settings/ColourMode.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/Resolutions.h"
#include "settings/ScanSource.h"
#include "ui/controls/ActivityIndicator.h"
#include "ui/controls/FlatButton.h"
#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"
#include "ui/toolkit/Bindings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int rowSpacing = 8;

// The cases of an option enumeration as picker entries tagged with their
// raw values.
template <typename E> QList<PickerEntry> optionEntries() {
    QList<PickerEntry> entries;
    for (const E value : allCases<E>()) {
        entries << PickerEntry{displayName(value), rawValue(value)};
    }
    return entries;
}

QList<PickerEntry> resolutionEntries() {
    QList<PickerEntry> entries;
    for (const int dpi : supportedResolutions) {
        entries << PickerEntry{resolutionLabel(dpi), QVariant::fromValue<qint64>(dpi)};
    }
    return entries;
}

template <typename E> std::optional<E> optionFrom(const QVariant& tag) {
    return fromRawValue<E>(tag.toString());
}

QHBoxLayout* newRow(QVBoxLayout* column) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(rowSpacing);
    column->addLayout(row);
    return row;
}

} // namespace

OptionsCard::OptionsCard(ScannerViewModel& model, QWidget* parent)
    : Card(16, nullptr, parent), model_(model) {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    QHBoxLayout* row = newRow(column);
    scanner_ = addPicker(row, QStringLiteral("Scanner"), 260);
    refresh_ = new FlatButton(QStringLiteral("Refresh"), SecondaryButtonStyle());
    row->addWidget(refresh_);
    source_ = addPicker(row, QStringLiteral("Source"), 170);
    row->addStretch(1);

    row = newRow(column);
    colour_ = addPicker(row, QStringLiteral("Colour"), 130);
    quality_ = addPicker(row, QStringLiteral("Quality"), 165);
    paper_ = addPicker(row, QStringLiteral("Page size"), 100);
    format_ = addPicker(row, QStringLiteral("Save as"), 90);
    row->addStretch(1);

    row = newRow(column);
    scan_ = new FlatButton(scanText(), PrimaryButtonStyle());
    scan_->setSymbol(QStringLiteral("scanner"));
    scan_->setLabelWidth(90);
    scan_->setAlternativeLabels({scanText(), cancelScanText()});
    row->addWidget(scan_);
    // The spinner sits 4 points after "Add image file...".
    auto* addGroup = new QHBoxLayout;
    addGroup->setContentsMargins(0, 0, 0, 0);
    addGroup->setSpacing(4);
    addImage_ = new FlatButton(QStringLiteral("Add image file..."), SecondaryButtonStyle());
    addGroup->addWidget(addImage_);
    spinner_ = new ActivityIndicator(nullptr, 16);
    spinner_->setColour(Theme::cyan.color());
    addGroup->addWidget(spinner_);
    row->addLayout(addGroup);
    row->addStretch(1);
    setContent(content);

    // The scanner picker lists the scanners found, or a single entry when
    // there are none.
    Bind::picker(
        scanner_, &model_, &ScannerViewModel::changed,
        [this] {
            QList<PickerEntry> entries;
            for (const ScannerDeviceInfo& device : model_.devices()) {
                entries << PickerEntry{device.name, device.id};
            }
            if (entries.isEmpty()) {
                entries << PickerEntry{noScannerText(), QString()};
            }
            return entries;
        },
        [this] { return model_.selectedDeviceID(); },
        [this](const QVariant& tag) { model_.setSelectedDeviceID(tag.toString()); });

    const auto settingsPicker = [this](QComboBox* picker, const QList<PickerEntry>& entries,
                                       auto get, auto set) {
        Bind::picker(
            picker, &model_, &ScannerViewModel::settingsChanged, entries,
            [this, get] { return get(model_.settings()); },
            [this, set](const QVariant& tag) {
                model_.editSettings([&](AppSettings& settings) { set(settings, tag); });
            });
    };
    settingsPicker(
        source_, optionEntries<ScanSource>(),
        [](const AppSettings& s) { return rawValue(s.source); },
        [](AppSettings& s, const QVariant& tag) {
            s.source = optionFrom<ScanSource>(tag).value_or(s.source);
        });
    settingsPicker(
        colour_, optionEntries<ColourMode>(),
        [](const AppSettings& s) { return rawValue(s.colour); },
        [](AppSettings& s, const QVariant& tag) {
            s.colour = optionFrom<ColourMode>(tag).value_or(s.colour);
        });
    settingsPicker(
        quality_, resolutionEntries(), [](const AppSettings& s) { return qint64(s.dpi); },
        [](AppSettings& s, const QVariant& tag) { s.dpi = tag.toLongLong(); });
    settingsPicker(
        paper_, optionEntries<PaperSize>(), [](const AppSettings& s) { return rawValue(s.paper); },
        [](AppSettings& s, const QVariant& tag) {
            s.paper = optionFrom<PaperSize>(tag).value_or(s.paper);
        });
    settingsPicker(
        format_, optionEntries<OutputFormat>(),
        [](const AppSettings& s) { return rawValue(s.format); },
        [](AppSettings& s, const QVariant& tag) {
            s.format = optionFrom<OutputFormat>(tag).value_or(s.format);
        });

    // The option pickers keep their widths unless the font needs more room
    // for the longest entry; the scanner picker keeps its width and cuts
    // long scanner names.
    for (QComboBox* picker : {source_, colour_, quality_, paper_, format_}) {
        picker->ensurePolished();
        picker->setFixedWidth(std::max(picker->minimumWidth(), picker->sizeHint().width()));
    }

    // While a scan runs the same button cancels it; nothing else about it
    // changes. Its keys (Return, and Escape while scanning) belong to the
    // content view, which knows whether the focused control takes them.
    Bind::enabled(scan_, &model_, &ScannerViewModel::changed, [this] {
        return model_.scanning() ||
               (!model_.busy() && !model_.addingFiles() && !model_.devices().isEmpty());
    });
    connect(&model_, &ScannerViewModel::scanningChanged, this,
            [this] { scan_->setText(model_.scanning() ? cancelScanText() : scanText()); });
    // The same goes for adding files (a long PDF, say): "Add image file..."
    // cancels it, with Escape unless a scan has that key.
    const auto followAdding = [this] {
        const bool adding = model_.addingFiles();
        addImage_->setText(adding ? cancelAddingText() : QStringLiteral("Add image file..."));
        addImage_->setShortcut(adding && !model_.scanning() ? QKeySequence(Qt::Key_Escape)
                                                            : QKeySequence());
    };
    followAdding();
    connect(&model_, &ScannerViewModel::addingFilesChanged, this, followAdding);
    connect(&model_, &ScannerViewModel::scanningChanged, this, followAdding);
    Bind::enabled(addImage_, &model_, &ScannerViewModel::changed,
                  [this] { return model_.addingFiles() || !model_.busy(); });
    Bind::visible(spinner_, &model_, &ScannerViewModel::changed,
                  [this] { return model_.busy() || model_.addingFiles(); });

    connect(scan_, &QAbstractButton::clicked, this, [this] {
        if (model_.scanning()) {
            model_.cancelScan();
        } else {
            model_.scan();
        }
    });
    connect(refresh_, &QAbstractButton::clicked, this, [this] { model_.refreshScanners(); });
    connect(addImage_, &QAbstractButton::clicked, this, [this] {
        if (model_.addingFiles()) {
            model_.cancelAddingFiles();
        } else {
            model_.importFiles();
        }
    });
}

QString OptionsCard::cancelAddingText() {
    return QStringLiteral("Cancel adding");
}

QString OptionsCard::noScannerText() {
    return QStringLiteral("No scanner found");
}

QString OptionsCard::scanText() {
    return QStringLiteral("Scan");
}

QString OptionsCard::cancelScanText() {
    return QStringLiteral("Cancel scan");
}

QComboBox* OptionsCard::addPicker(QHBoxLayout* row, const QString& label, int width) {
    QLabel* caption = Labels::fieldLabel(label);
    auto* picker = new QComboBox;
    picker->setFixedWidth(width);
    picker->setAccessibleName(label);
    caption->setBuddy(picker);
    row->addWidget(caption);
    row->addWidget(picker);
    return picker;
}
