#pragma once

#include <QPalette>
#include <QString>

class QApplication;

// The forced dark appearance of the whole application: the Fusion style, a
// palette made of Theme colours and a style sheet for the standard controls,
// menus, tooltips and dialogs, so no light colour of the desktop theme
// reaches any window.
namespace DarkAppearance {

// Applies style, palette, default font and style sheet to the application.
// Call once, before the first window is created.
void apply(QApplication& app);

// The palette every widget starts from.
QPalette palette();

// Style sheet for the standard controls (text fields, pickers, toggles,
// sliders, tabs, lists, menus, tooltips, scroll bars and dialog buttons).
QString styleSheet();

} // namespace DarkAppearance
