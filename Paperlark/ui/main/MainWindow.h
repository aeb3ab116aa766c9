#pragma once

#include "ui/toolkit/ContentWindow.h"

class QMenu;
class ScannerViewModel;
class TesselFooter;
class TesselHeader;

// The application's one main window, without a system title bar: the header
// banner (with the window buttons and the application menu button), the
// content view in the middle, and the footer showing the model's status line.
//
// The content view is whatever setContentView() is given; it fills the
// space between header and footer on the window's `background`.
//
// When the window closes, contentDisappeared() is emitted once; the
// application cleans up the model in answer.
//
// Tab goes through the header's controls, then the content view's, then the
// footer's links.
//
// The window fits its screen: it opens at 1100 x 760 where the screen's
// available area has room for that; where it has not, and on every screen
// the window is shown on or moved to, the window shrinks to the area and its
// minimum size (minimumWindowSize) gives way as far as the area is smaller.
class MainWindow : public ContentWindow {
    Q_OBJECT

public:
    explicit MainWindow(ScannerViewModel& model, QWidget* parent = nullptr);

    static constexpr QSize minimumWindowSize{940, 620};
    static constexpr QSize startingWindowSize{1100, 760};

    ScannerViewModel& model() const { return model_; }

    // Shows `menu` from the header's menu button and makes its shortcuts
    // work while this window (or any other of the application) is active.
    void setApplicationMenu(QMenu* menu);

    TesselHeader* header() const { return header_; }
    TesselFooter* footer() const { return footer_; }

protected:
    void contentViewReplaced() override;
    bool event(QEvent* event) override;

private:
    // Limits the minimum size, and the size, to the available area of the
    // screen the window is on.
    void fitScreen();

    ScannerViewModel& model_;
    TesselHeader* header_;
    TesselFooter* footer_;
};
