#pragma once

#include <QString>

class QWidget;

// Bringing a window to the front when the user asked for it elsewhere (a
// second start, the desktop's launcher).
namespace WindowActivation {

// Shows `window` if hidden, takes it out of the minimised state, raises it and
// asks for the keyboard focus. On Wayland a window may come to the front
// only with an activation token the desktop issued to the request's
// origin; `activationToken` (none when empty) is handed to Qt's activation
// request there, which uses it once. Other platforms (X11) need no token
// and are left as they were. `platformName` is the Qt platform in use
// (QGuiApplication::platformName()).
void bringToFront(QWidget& window, const QString& activationToken, const QString& platformName);

// Whether `platformName` is a Wayland platform, where tokens are used.
bool usesActivationTokens(const QString& platformName);

} // namespace WindowActivation
