#include "ui/toolkit/WindowActivation.h"

#include <QWidget>

namespace WindowActivation {

bool usesActivationTokens(const QString& platformName) {
    // "wayland", "wayland-egl", "wayland-generic" and the like.
    return platformName.startsWith(QLatin1String("wayland"));
}

void bringToFront(QWidget& window, const QString& activationToken, const QString& platformName) {
    window.show();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    if (!activationToken.isEmpty() && usesActivationTokens(platformName)) {
        // Qt's Wayland activation request (xdg-activation) takes the token
        // from this variable, and removes it once used.
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    }
    window.activateWindow();
}

} // namespace WindowActivation
