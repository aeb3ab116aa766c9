#include "ui/toolkit/DarkStyle.h"

#include "ui/controls/Theme.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

DarkStyle::DarkStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int DarkStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons) {
        return 0;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void DarkStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                              QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // Fusion outlines a check box in a darker shade of the window colour,
    // which vanishes on the dark background: an unchecked box could not be
    // seen at all.
    if (element == PE_IndicatorCheckBox && option != nullptr) {
        const bool enabled = option->state.testFlag(State_Enabled);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(enabled ? Theme::lineBright.color() : Theme::line.color(), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        painter->restore();
    }
}
