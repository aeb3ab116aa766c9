#include "ui/controls/Kicker.h"

#include "ui/controls/Labels.h"
#include "ui/controls/Theme.h"

Kicker::Kicker(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont kickerFont = Theme::font(10, QFont::Bold, true);
    kickerFont.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    setFont(kickerFont);
    Labels::setColour(this, Theme::cyan);
    setTextFormat(Qt::PlainText);
}
