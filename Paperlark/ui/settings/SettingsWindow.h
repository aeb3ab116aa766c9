#pragma once

#include "ui/toolkit/ContentWindow.h"

// The settings window: an ordinary top-level window with its normal title
// bar, drawn dark on the theme's `background`. Its content view comes from
// setContentView(); the window takes the content's size.
//
// The application keeps at most one open; closing it destroys it (and its
// content) after contentDisappeared() has been emitted.
class SettingsWindow : public ContentWindow {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);
};
