#pragma once

#include "ui/controls/Card.h"

class FlatButton;
class QLineEdit;
class ScannerViewModel;

// The save card of the main window, two rows:
//   "Save to" folder field, "Choose...", "Open folder", "File name" field;
//   "Save" (Ctrl+S), "Save & email...", "Settings...", "About".
// The fields edit the settings' save folder and the model's file name as
// the user types. "Save" follows canSave and "Save & email..." canEmail.
class SaveCard : public Card {
    Q_OBJECT

public:
    explicit SaveCard(ScannerViewModel& model, QWidget* parent = nullptr);

    QLineEdit* folderField() const { return folder_; }
    FlatButton* chooseButton() const { return choose_; }
    FlatButton* openFolderButton() const { return openFolder_; }
    QLineEdit* fileNameField() const { return fileName_; }
    FlatButton* saveButton() const { return save_; }
    FlatButton* emailButton() const { return email_; }
    FlatButton* settingsButton() const { return settings_; }
    FlatButton* aboutButton() const { return about_; }

private:
    ScannerViewModel& model_;
    QLineEdit* folder_;
    FlatButton* choose_;
    FlatButton* openFolder_;
    QLineEdit* fileName_;
    FlatButton* save_;
    FlatButton* email_;
    FlatButton* settings_;
    FlatButton* about_;
};
