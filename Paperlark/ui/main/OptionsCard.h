#pragma once

#include "ui/controls/Card.h"

class ActivityIndicator;
class FlatButton;
class QComboBox;
class QHBoxLayout;
class ScannerViewModel;

// The scan options card of the main window, three rows:
//   Scanner picker, "Refresh", Source picker;
//   Colour, Quality, Page size and "Save as" pickers;
//   "Scan", "Add image file..." and the spinner shown while busy or adding
//   files.
// Every picker writes straight into the view model (the scanner choice or
// the settings) and follows it. "Scan" needs a scanner and no running work
// (nor files being added); while a scan runs it reads "Cancel scan" and
// cancels it. "Add image file..." needs no running work; while files are
// being added it reads "Cancel adding" and stops that (Escape, unless a scan
// runs).
class OptionsCard : public Card {
    Q_OBJECT

public:
    explicit OptionsCard(ScannerViewModel& model, QWidget* parent = nullptr);

    static QString noScannerText();
    // The Scan button's two texts.
    static QString scanText();
    static QString cancelScanText();
    static QString cancelAddingText();

    QComboBox* scannerPicker() const { return scanner_; }
    FlatButton* refreshButton() const { return refresh_; }
    QComboBox* sourcePicker() const { return source_; }
    QComboBox* colourPicker() const { return colour_; }
    QComboBox* qualityPicker() const { return quality_; }
    QComboBox* paperPicker() const { return paper_; }
    QComboBox* formatPicker() const { return format_; }
    FlatButton* scanButton() const { return scan_; }
    FlatButton* addImageButton() const { return addImage_; }
    ActivityIndicator* spinner() const { return spinner_; }

private:
    // Adds a field label and the picker, `width` points wide, to `row`.
    QComboBox* addPicker(QHBoxLayout* row, const QString& label, int width);

    ScannerViewModel& model_;
    QComboBox* scanner_;
    FlatButton* refresh_;
    QComboBox* source_;
    QComboBox* colour_;
    QComboBox* quality_;
    QComboBox* paper_;
    QComboBox* format_;
    FlatButton* scan_;
    FlatButton* addImage_;
    ActivityIndicator* spinner_;
};
