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
//
// It takes the focus from the keyboard only (Tab). With the focus it shows a
// 2-point ring in its style's focus colour in place of its border, and Space
// or Return presses it (Return unless setAutoDefault(false) leaves it to a
// dialog's default button).
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

    // Gives the label (symbol and text) at least `width`, centred inside the
    // padding; a text that needs more in the button's font gets more. 0
    // lets the label take its natural width.
    void setLabelWidth(int width);

    // Other texts the button shows at times (for example "Cancel scan"
    // beside "Scan"): the label is as wide as the widest of them and the
    // current text, so the button neither cuts one short nor changes its
    // size when its text changes.
    void setAlternativeLabels(const QStringList& labels);

    // The colours the button is drawn with in its current state.
    QColor currentFill() const;
    QColor currentBorder() const;
    QColor currentForeground() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The width the symbol and `text` take side by side.
    int naturalLabelWidth(const QString& text) const;
    int labelWidth() const;

    ButtonStyle style_;
    QString symbol_;
    QStringList alternativeLabels_;
    int labelWidth_ = 0;
};
