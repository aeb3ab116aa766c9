#pragma once

#include "ui/toolkit/ContentWindow.h"

class QKeyEvent;
class QShowEvent;

// The settings window: an ordinary window with its normal title bar, drawn
// dark on the theme's `background`. Its content view comes from
// setContentView(); the window takes the content's size, which a
// SettingsView keeps within the screen's free area.
//
// Made with the main window as its parent, it is that window's child: it
// stays in front of it, and the first time it is shown it opens centred over
// it (kept within the screen). Escape (unless a control uses it, as an open
// picker does) and Ctrl+W close it, as its close button does.
//
// The application keeps at most one open; closing it destroys it (and its
// content) after contentDisappeared() has been emitted.
class SettingsWindow : public ContentWindow {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Fits the content to the screen and centres the window over its parent
    // (or the screen).
    void place();

    bool placed_ = false;
};
