#pragma once

#include "ui/controls/Theme.h"

#include <QFont>
#include <QLabel>
#include <QString>

// Plain text lines in the theme's fonts and colours.
namespace Labels {

// One line of plain text at `size` points in `colour`.
QLabel* text(const QString& text, double size, QFont::Weight weight = QFont::Normal,
             const Theme::Palette& colour = Theme::ink, QWidget* parent = nullptr);

// The small caption placed before a control: 12 points, `muted`.
QLabel* fieldLabel(const QString& text, QWidget* parent = nullptr);

// A note under or beside a control: 11 points, `muted`.
QLabel* caption(const QString& text, QWidget* parent = nullptr);

// Sets the colour a label's text is drawn in (any state).
void setColour(QWidget* label, const Theme::Palette& colour, double opacity = 1.0);

} // namespace Labels
