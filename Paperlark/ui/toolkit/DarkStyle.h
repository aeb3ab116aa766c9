#pragma once

#include <QProxyStyle>

// Fusion with the few changes the dark look needs: dialog buttons show
// their text only (the desktop's coloured stock icons do not belong on the
// dark theme), and check boxes get a visible border.
class DarkStyle : public QProxyStyle {
    Q_OBJECT

public:
    DarkStyle();

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
