#pragma once

#include <QWidget>

class AlertPresenter;
class OptionsCard;
class PageListPanel;
class PreviewPane;
class QScrollArea;
class QSplitter;
class SaveCard;
class ScannerViewModel;
class SheetPresenter;

// The main window's content between its header and footer: the title
// block, the scan options card, the split area with the page list and the
// preview of the selected page, and the save card. It keeps no state of its
// own: everything shown comes from the view model and every control calls
// it.
//
// Return presses Scan, but only when the focus is on nothing that uses it:
// an open picker picks with it, a focused button presses itself and a text
// field confirms its text. Escape cancels a running scan unless the focused
// control uses it (an open picker closes). The window opens with the focus
// on the view itself, so that Return scans from the start.
//
// It also presents the model's pending error as the "Paperlark" alert
// (dismissing it clears the error) and the e-mail sheet while the model
// asks for it, and takes image files dropped anywhere on its window.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int listMinimumWidth = 210;
    static constexpr int listIdealWidth = 240;
    static constexpr int listMaximumWidth = 340;
    static constexpr int previewMinimumWidth = 420;
    // The split area takes the height the cards leave. In a short window it
    // gives way first, down to what still shows a page row and the
    // preview, so that the cards around it stay whole; then the title; then,
    // on a screen smaller than the window's usual minimum, the split area
    // again, down to its smallest.
    static constexpr int splitMinimumHeight = 130;
    static constexpr int splitSmallestHeight = 60;

    explicit ContentView(ScannerViewModel& model, QWidget* parent = nullptr);

    ScannerViewModel& model() const { return model_; }

    OptionsCard* optionsCard() const { return options_; }
    PageListPanel* pageList() const { return pageList_; }
    PreviewPane* preview() const { return preview_; }
    QSplitter* splitter() const { return splitter_; }
    // Holds the whole column; scrolls only when even the smallest split
    // area and no title do not fit (very large fonts, tiny screens).
    QScrollArea* scrollArea() const { return scrollArea_; }
    SaveCard* saveCard() const { return saveCard_; }
    AlertPresenter* alertPresenter() const { return alert_; }
    SheetPresenter* sheetPresenter() const { return sheet_; }

    // Turns the selected page (every selected page) by quarter turns
    // clockwise, with the wait cursor. A failure becomes the model's error
    // (and so the alert); success redraws the thumbnails and preview.
    // Without a selected page nothing happens.
    void rotateSelectedPage(int quarterTurns);

    // The title block above the options card: hidden when the window has
    // no room for it beside the split area at its minimum.
    QWidget* title() const { return title_; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitColumn();

    ScannerViewModel& model_;
    QWidget* title_ = nullptr;
    OptionsCard* options_;
    PageListPanel* pageList_;
    PreviewPane* preview_;
    QSplitter* splitter_;
    QScrollArea* scrollArea_;
    SaveCard* saveCard_;
    AlertPresenter* alert_;
    SheetPresenter* sheet_;
    // The window whose unconsumed Return and Escape are the Scan keys.
    QWidget* window_ = nullptr;
};
