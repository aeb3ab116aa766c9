#pragma once

#include "ui/controls/Card.h"
#include "ui/main/PageListView.h"

class FlatButton;
class PageListModel;
class QAction;
class QMenu;
class ScannerViewModel;

// The left half of the main window's split area: the heading "Pages", the
// page list bound to the view model's pages and selection, and under it the
// row of page buttons (rotate left, rotate right, "Delete", "Clear all"),
// disabled while there are no pages.
//
// Several pages can be selected (Ctrl+click, Shift+click, Ctrl+A,
// Shift+arrow) and dragged to another place in the list. A row's context
// menu offers "Rotate left", "Rotate right", "Rotate 180°", "Straighten",
// "Turn upright", "Crop" (the page in the preview; only requested), "Move up",
// "Move down", "Delete page", then "Interleave front and back pages",
// "Reverse order", "Select blank pages", "Select all", "Undo" and "Redo",
// each with its shortcut; like the buttons they act on the selected pages.
// The Delete key deletes them, Alt+Up and Alt+Down move them. Rotations are
// only requested (rotateRequested); the owner carries them out and reports
// failures. The list is a Tab stop only while it holds pages, and shows a
// ring while it has the focus.
class PageListPanel : public Card {
    Q_OBJECT

public:
    explicit PageListPanel(ScannerViewModel& model, QWidget* parent = nullptr);

    PageListView* list() const { return list_; }
    PageListModel* listModel() const { return listModel_; }
    // The context menu shown for a row.
    QMenu* contextMenu() const { return contextMenu_; }
    QWidget* buttonRow() const { return buttonRow_; }
    FlatButton* rotateLeftButton() const { return rotateLeft_; }
    FlatButton* rotateRightButton() const { return rotateRight_; }
    FlatButton* deleteButton() const { return delete_; }
    FlatButton* clearAllButton() const { return clearAll_; }

    // The menu's actions, by their text without shortcut ("Undo").
    QAction* action(const QString& text) const;

Q_SIGNALS:
    // Turn the selected pages by quarter turns clockwise (-1, 1 or 2).
    void rotateRequested(int quarterTurns);
    // Show the crop frame over the page in the preview.
    void cropRequested();

private:
    void buildMenu();
    void showSelection();
    void takeSelection();
    void followHistory();
    void followPageCount();

    ScannerViewModel& model_;
    PageListModel* listModel_;
    PageListView* list_;
    QMenu* contextMenu_;
    QWidget* buttonRow_;
    FlatButton* rotateLeft_;
    FlatButton* rotateRight_;
    FlatButton* delete_;
    FlatButton* clearAll_;
    QAction* deleteAction_ = nullptr;
    // Straighten, Turn upright, Crop: disabled while the model is busy.
    QList<QAction*> editActions_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    // True while the list's selection is being set from the model's, and
    // while the model's is being set from the list's.
    bool showingSelection_ = false;
    bool takingSelection_ = false;
};
