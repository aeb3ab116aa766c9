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
// It also presents the model's pending error as the "Paperlark" alert
// (dismissing it clears the error) and the e-mail sheet while the model
// asks for it.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int listMinimumWidth = 210;
    static constexpr int listIdealWidth = 240;
    static constexpr int listMaximumWidth = 340;
    static constexpr int previewMinimumWidth = 420;
    static constexpr int splitMinimumHeight = 260;

    explicit ContentView(ScannerViewModel& model, QWidget* parent = nullptr);

    ScannerViewModel& model() const { return model_; }

    OptionsCard* optionsCard() const { return options_; }
    PageListPanel* pageList() const { return pageList_; }
    PreviewPane* preview() const { return preview_; }
    QSplitter* splitter() const { return splitter_; }
    // Holds the whole column; scrolls only when the window is too small.
    QScrollArea* scrollArea() const { return scrollArea_; }
    SaveCard* saveCard() const { return saveCard_; }
    AlertPresenter* alertPresenter() const { return alert_; }
    SheetPresenter* sheetPresenter() const { return sheet_; }

    // Turns the selected page by quarter turns clockwise. A failure becomes
    // the model's error (and so the alert); success redraws the page's
    // thumbnail and preview. Without a selected page nothing happens.
    void rotateSelectedPage(int quarterTurns);

private:
    ScannerViewModel& model_;
    OptionsCard* options_;
    PageListPanel* pageList_;
    PreviewPane* preview_;
    QSplitter* splitter_;
    QScrollArea* scrollArea_;
    SaveCard* saveCard_;
    AlertPresenter* alert_;
    SheetPresenter* sheet_;
};
