#pragma once

#include <QIcon>
#include <QPixmap>

// The application's icon, drawn from the SVG that is also installed for the
// desktop's application menu.
namespace AppIcon {

QPixmap pixmap(int size, double devicePixelRatio = 1.0);
QIcon icon();

} // namespace AppIcon
