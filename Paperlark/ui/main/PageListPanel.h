#pragma once

#include "ui/controls/Card.h"

class FlatButton;
class PageListModel;
class QListView;
class QMenu;
class ScannerViewModel;

// The left half of the main window's split area: the heading "Pages", the
// page list bound to the view model's pages and selection, and under it the
// row of page buttons (rotate left, rotate right, "Delete", "Clear all"),
// disabled while there are no pages.
//
// A row's context menu offers "Rotate left", "Rotate right", "Rotate 180°",
// "Move up", "Move down" and "Delete page"; like the buttons it acts on the
// selected page. Rotations are only requested (rotateRequested); the owner
// carries them out and reports failures.
class PageListPanel : public Card {
    Q_OBJECT

public:
    explicit PageListPanel(ScannerViewModel& model, QWidget* parent = nullptr);

    QListView* list() const { return list_; }
    PageListModel* listModel() const { return listModel_; }
    // The context menu shown for a row.
    QMenu* contextMenu() const { return contextMenu_; }
    QWidget* buttonRow() const { return buttonRow_; }
    FlatButton* rotateLeftButton() const { return rotateLeft_; }
    FlatButton* rotateRightButton() const { return rotateRight_; }
    FlatButton* deleteButton() const { return delete_; }
    FlatButton* clearAllButton() const { return clearAll_; }

Q_SIGNALS:
    // Turn the selected page by quarter turns clockwise (-1, 1 or 2).
    void rotateRequested(int quarterTurns);

private:
    void showSelection();
    void takeSelection();

    ScannerViewModel& model_;
    PageListModel* listModel_;
    QListView* list_;
    QMenu* contextMenu_;
    QWidget* buttonRow_;
    FlatButton* rotateLeft_;
    FlatButton* rotateRight_;
    FlatButton* delete_;
    FlatButton* clearAll_;
    // True while the list's selection is being set from the model's.
    bool showingSelection_ = false;
};
