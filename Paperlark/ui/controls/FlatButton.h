#pragma once

#include "ui/controls/ButtonStyle.h"

#include <QPushButton>

// The one painter behind every styled button: a rounded, flat button in the
// colours of its ButtonStyle. The label, optionally led by a symbol (see
// SymbolImage), takes the button's foreground colour. It is shown and read
// literally: an ampersand is no mnemonic marker (the button's text() holds
// it doubled, as QAbstractButton expects).
//
// Disabled, every style looks the same: muted text at half opacity on an
// `elevated` fill at 0.4 opacity with a `line` border. Pressing changes only
// the fill. Being a QPushButton, it works as a dialog's default button
// (setDefault) and with setShortcut.
class FlatButton : public QPushButton {
    Q_OBJECT

public:
    explicit FlatButton(const QString& label, const ButtonStyle& style = SecondaryButtonStyle(),
                        QWidget* parent = nullptr);

    // The text as shown.
    QString label() const;

    const ButtonStyle& buttonStyle() const { return style_; }
    void setButtonStyle(const ButtonStyle& style);

    // A symbol drawn before the text (or alone when the text is empty).
    const QString& symbol() const { return symbol_; }
    void setSymbol(const QString& name);

    // Gives the label (symbol and text) a fixed width, centred inside the
    // padding; 0 lets the label take its natural width.
    void setLabelWidth(int width);

    // The colours the button is drawn with in its current state.
    QColor currentFill() const;
    QColor currentBorder() const;
    QColor currentForeground() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int naturalLabelWidth() const;

    ButtonStyle style_;
    QString symbol_;
    int labelWidth_ = 0;
    bool keyboardFocus_ = false;
};
