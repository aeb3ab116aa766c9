#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

// Small line symbols drawn in one colour, standing in for the desktop
// toolkit's symbol images. Known names: "scanner", "rotate.left",
// "rotate.right", "doc.viewfinder", "gearshape", "envelope", "info.circle",
// "line.3.horizontal", "xmark", "minus", "plus".
namespace SymbolImage {

QStringList names();
bool exists(const QString& name);

// Draws the symbol fitted into `box`. Unknown names draw nothing.
void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& colour);

// The symbol as a square pixmap of `size` logical points.
QPixmap pixmap(const QString& name, const QColor& colour, int size, double devicePixelRatio = 1.0);

// The symbol as an icon, drawn in `colour` when enabled and dimmed when not.
QIcon icon(const QString& name, const QColor& colour, int size = 16);

} // namespace SymbolImage
