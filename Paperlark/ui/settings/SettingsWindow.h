#pragma once

#include "ui/toolkit/ContentWindow.h"

class QShowEvent;

// The settings window: an ordinary window with its normal title bar, drawn
// dark on the theme's `background`. Its content view comes from
// setContentView(); the window takes the content's size, which a
// SettingsView keeps within the screen's free area.
//
// The first time it is shown it opens centred over its parent (or the
// screen), kept within the screen.
//
// The application keeps at most one open; closing it destroys it (and its
// content) after contentDisappeared() has been emitted.
class SettingsWindow : public ContentWindow {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Fits the content to the screen and centres the window over its parent
    // (or the screen).
    void place();

    bool placed_ = false;
};
