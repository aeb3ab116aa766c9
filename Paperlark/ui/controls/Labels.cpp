#include "ui/controls/Labels.h"

namespace Labels {

QLabel* text(const QString& text, double size, QFont::Weight weight, const Theme::Palette& colour,
             QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Theme::font(size, weight));
    setColour(label, colour);
    return label;
}

QLabel* fieldLabel(const QString& text, QWidget* parent) {
    return Labels::text(text, 12, QFont::Normal, Theme::muted, parent);
}

QLabel* caption(const QString& text, QWidget* parent) {
    return Labels::text(text, 11, QFont::Normal, Theme::muted, parent);
}

void setColour(QWidget* label, const Theme::Palette& colour, double opacity) {
    QPalette palette = label->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, colour.color(opacity));
        palette.setColor(group, QPalette::Text, colour.color(opacity));
    }
    label->setPalette(palette);
}

} // namespace Labels
